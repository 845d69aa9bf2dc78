#pragma once
// Every configuration key of section "setup" in one place: its name and the fallback its
// readers pass when the key is missing. Readers that need another fallback say so at the
// call site (GetInt(key, otherFallback)).

#include <array>
#include <string_view>

namespace vireo {

struct IntKey {
    std::string_view name;
    int fallback;
};
struct StringKey {
    std::string_view name;
    std::string_view fallback;
};
// Window placements: "%d %d %d %d" (left top right bottom); four times -1 is maximized.
struct RectKey {
    std::string_view name;
};

namespace keys {
// Download and connection
inline constexpr StringKey DownPath{"downpath", ""};
inline constexpr IntKey Timeout{"timeout", 0};
inline constexpr IntKey MaxDown{"maxdown", 0};
inline constexpr IntKey MaxAttemp{"maxattemp", 0};
inline constexpr IntKey Proxy{"proxy", 0};
inline constexpr StringKey ProxyServer{"proxyserver", ""};
inline constexpr IntKey ProxyPort{"proxyport", 0};
inline constexpr IntKey PnmPort{"pnmport", 0};
// Beyond the original key set: FTP data connections in passive mode (EPSV, then PASV)
// instead of active mode.
inline constexpr IntKey FtpPassive{"ftppassive", 0};
inline constexpr IntKey BusyIdle{"busyidle", 120};
// Logging and history
inline constexpr IntKey Log{"log", 0};
inline constexpr IntKey LogNum{"lognum", 1};
inline constexpr IntKey History{"history", 0};
inline constexpr IntKey HistoryMax{"historymax", 0};
inline constexpr IntKey HistoryColumns{"historycolumns", 7};
inline constexpr IntKey WhDate{"whdate", 0};
inline constexpr IntKey WhFile{"whfile", 0};
inline constexpr IntKey WhUrl{"whurl", 0};
inline constexpr RectKey HistoryRect{"historyrect"};
inline constexpr RectKey LogRect{"logrect"};
inline constexpr StringKey Name{"name", ""};
inline constexpr StringKey Email{"email", ""};
// Main window and list
inline constexpr IntKey DropToTray{"droptotray", 0};
inline constexpr IntKey Minimize{"minimize", 0};
inline constexpr IntKey IdleTime{"idletime", 0};
inline constexpr IntKey Animated{"animated", 0};
inline constexpr IntKey KeepList{"keeplist", 0};
inline constexpr RectKey MainWndRect{"mwndrect"};
inline constexpr IntKey WFile{"wfile", 0};
inline constexpr IntKey WSize{"wsize", 0};
inline constexpr IntKey WStatus{"wstatus", 0};
inline constexpr IntKey WElapsed{"welapsed", 0};
inline constexpr IntKey WLeft{"wleft", 0};
inline constexpr IntKey WSpeed{"wspeed", 0};
inline constexpr IntKey WAttemp{"wattemp", 0};
inline constexpr IntKey WAddress{"waddress", 0};
// Link harvesting
inline constexpr IntKey Filter{"filter", 0};
inline constexpr StringKey PassOnly{"passonly", ""};
inline constexpr StringKey Except{"except", ""};
inline constexpr IntKey FromPage{"frompage", 0};
inline constexpr IntKey IndexNum{"indexnum", 0};
// Bookkeeping
inline constexpr IntKey Version{"version", 0};
inline constexpr StringKey Cwd{"cwd", ""};
// Beyond the original key set: an extra CA bundle for https, the support server.
inline constexpr StringKey CaFile{"cafile", ""};
inline constexpr StringKey SupportServer{"supportserver", "localhost:8080"};
// Beyond the original key set: desktop notifications when downloads end (on unless 0),
// and adding addresses copied in other programs (off unless 1).
inline constexpr IntKey Notify{"notify", 1};
inline constexpr IntKey WatchClipboard{"watchclipboard", 0};
} // namespace keys

// The values the first run writes, in the order it writes them. The proxy keys,
// "downpath" and "version" follow them (see RunFirstRun).
struct FirstRunValue {
    std::string_view key;
    int number;
    std::string_view text;
    bool isText;
};

inline constexpr std::array<FirstRunValue, 29> kFirstRunValues{{
    {"wfile", 200, {}, false},
    {"wsize", 80, {}, false},
    {"wstatus", 100, {}, false},
    {"welapsed", 50, {}, false},
    {"wleft", 50, {}, false},
    {"wspeed", 50, {}, false},
    {"wattemp", 30, {}, false},
    {"waddress", 800, {}, false},
    {"frompage", 0, {}, false},
    {"maxdown", 5, {}, false},
    {"indexnum", 0, {}, false},
    {"droptotray", 1, {}, false},
    {"idletime", 180, {}, false},
    {"minimize", 0, {}, false},
    {"filter", 0, {}, false},
    {"passonly", 0, "*.ra;*.ram;*.rm", true},
    {"except", 0, "*.htm;*.html;*.txt", true},
    {"pnmport", 7070, {}, false},
    {"timeout", 40, {}, false},
    {"maxattemp", 5, {}, false},
    {"log", 1, {}, false},
    {"lognum", 1, {}, false},
    {"history", 1, {}, false},
    {"historymax", 100, {}, false},
    {"whdate", 80, {}, false},
    {"whfile", 200, {}, false},
    {"whurl", 1200, {}, false},
    {"keeplist", 0, {}, false},
    {"animated", 1, {}, false},
}};

} // namespace vireo
