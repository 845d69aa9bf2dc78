// The extension's pure parts, under node's own test runner: node --test extension/test
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const { requestFor, badgeFor, titleFor } = require("../background.js");

test("addresses the program downloads become requests", () => {
  for (const address of [
    "http://example.org/file.zip",
    "https://example.org/a/b?c=d#e",
    "FTP://files.example.org/pub/x.tar.gz",
    "  https://example.org/padded  ",
  ]) {
    assert.deepStrictEqual(requestFor(address), { url: address.trim() }, address);
  }
});

test("what the program cannot download is no request", () => {
  for (const address of [
    undefined,
    null,
    42,
    "",
    "about:blank",
    "chrome://extensions/",
    "moz-extension://abc/page.html",
    "data:text/plain,hi",
    "blob:https://example.org/123",
    "file:///home/me/x.txt",
    "javascript:alert(1)",
    "http://localhost/nodot",
    "http://example.org/with space",
    "http://example.org/line\nbreak",
  ]) {
    assert.strictEqual(requestFor(address), null, String(address));
  }
});

test("the answer shows on the button", () => {
  assert.strictEqual(badgeFor({ ok: true }), "");
  assert.strictEqual(badgeFor({ ok: false, error: "message too large" }), "!");
  assert.strictEqual(badgeFor(undefined), "!");
  assert.strictEqual(titleFor({ ok: false, error: "not an address to download" }),
                     "Vireo: not an address to download");
  assert.strictEqual(titleFor(null, new Error("host not found")), "Vireo: host not found");
});
