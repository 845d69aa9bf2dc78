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
// Beyond the original key set: the most the program reads from the network in all, in
// KB/s (1 KB = 1024 bytes); 0 is no limit.
inline constexpr IntKey MaxSpeed{"maxspeed", 0};
// Beyond the original key set: the list shows sizes and speeds as plain byte counts and the
// bar its byte count (1) instead of KB/MB/GB and a percentage (0); New and Exit ask before
// they drop unfinished or running downloads until "don't ask again" stores 0.
inline constexpr IntKey RawNumbers{"rawnumbers", 0};
inline constexpr IntKey AskNew{"asknew", 1};
inline constexpr IntKey AskExit{"askexit", 1};
// Beyond the original key set: connections one HTTP download may use (1 to 16).
inline constexpr IntKey Segments{"segments", 1};
// Beyond the original key set: the most a recorded stream's variant may have, its height
// in lines and its bandwidth in bits per second; 0 is no cap.
inline constexpr IntKey HlsMaxHeight{"hlsmaxheight", 0};
inline constexpr IntKey HlsMaxBandwidth{"hlsmaxbandwidth", 0};
inline constexpr int kMaxHlsHeight = 100000;
} // namespace keys

// The values the first run writes, in the order it writes them, each under its key
// above. The proxy keys, "downpath" and "version" follow them (see RunFirstRun).
struct FirstRunValue {
    constexpr FirstRunValue(const IntKey& k, int value) : key(k.name), number(value) {}
    constexpr FirstRunValue(const StringKey& k, std::string_view value)
        : key(k.name), text(value), isText(true) {}

    std::string_view key;
    int number = 0;
    std::string_view text;
    bool isText = false;
};

inline constexpr std::array<FirstRunValue, 29> kFirstRunValues{{
    {keys::WFile, 200},
    {keys::WSize, 80},
    {keys::WStatus, 100},
    {keys::WElapsed, 50},
    {keys::WLeft, 50},
    {keys::WSpeed, 50},
    {keys::WAttemp, 30},
    {keys::WAddress, 800},
    {keys::FromPage, 0},
    {keys::MaxDown, 5},
    {keys::IndexNum, 0},
    {keys::DropToTray, 1},
    {keys::IdleTime, 180},
    {keys::Minimize, 0},
    {keys::Filter, 0},
    {keys::PassOnly, "*.ra;*.ram;*.rm"},
    {keys::Except, "*.htm;*.html;*.txt"},
    {keys::PnmPort, 7070},
    {keys::Timeout, 40},
    {keys::MaxAttemp, 5},
    {keys::Log, 1},
    {keys::LogNum, 1},
    {keys::History, 1},
    {keys::HistoryMax, 100},
    {keys::WhDate, 80},
    {keys::WhFile, 200},
    {keys::WhUrl, 1200},
    {keys::KeepList, 0},
    {keys::Animated, 1},
}};

} // namespace vireo
