// "Download with Vireo": the context menu of links and the toolbar button hand an address
// to the program through its native-messaging host.
"use strict";

const HOST = "org.tarnwell.vireo";
const MENU_ID = "vireo-download-link";

// The host's request for an address, or null for anything the program cannot download
// (browser pages, data: and blob: addresses, text that is no address).
function requestFor(address) {
  if (typeof address !== "string") return null;
  const text = address.trim();
  if (!/^(https?|ftp):\/\/[^\s/?#]+\.[^\s/?#]+([/?#]\S*)?$/i.test(text)) return null;
  return { url: text };
}

// The badge for the host's answer: "" when it was taken, "!" otherwise.
function badgeFor(answer) {
  return answer && answer.ok === true ? "" : "!";
}

// A short text of what went wrong, for the button's title.
function titleFor(answer, error) {
  if (error) return "Vireo: " + (error.message || String(error));
  if (answer && answer.ok === true) return "Download this page with Vireo";
  return "Vireo: " + ((answer && answer.error) || "no answer");
}

const api = globalThis.browser ?? globalThis.chrome;

async function send(address, tabId) {
  const request = requestFor(address);
  let answer = null;
  let error = null;
  if (!request) {
    error = new Error("not an address to download");
  } else {
    try {
      answer = await api.runtime.sendNativeMessage(HOST, request);
    } catch (e) {
      error = e;
    }
  }
  const target = tabId === undefined ? {} : { tabId };
  await api.action.setBadgeText({ ...target, text: error ? "!" : badgeFor(answer) });
  await api.action.setTitle({ ...target, title: titleFor(answer, error) });
}

if (api && api.runtime) {
  api.runtime.onInstalled.addListener(() => {
    api.contextMenus.create({ id: MENU_ID, title: "Download with Vireo", contexts: ["link"] });
  });
  api.contextMenus.onClicked.addListener((info, tab) => {
    if (info.menuItemId === MENU_ID) send(info.linkUrl, tab && tab.id);
  });
  api.action.onClicked.addListener((tab) => send(tab.url, tab.id));
}

if (typeof module !== "undefined") module.exports = { requestFor, badgeFor, titleFor, HOST };
