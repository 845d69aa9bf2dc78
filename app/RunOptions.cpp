#include "app/RunOptions.h"

#include "common/AsciiCase.h"
#include "common/ByteBuffer.h"
#include "downloads/LinkFilter.h"
#include "downloads/ListText.h"
#include "downloads/VireoDoc.h"
#include "engine/Checksum.h"
#include "engine/RateLimiter.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "protocols/HttpRequest.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

#include <iostream>
#include <iterator>

namespace vireo {

namespace {
// The proxy rule of the run, when the options or the environment give one.
void ApplyProxies(const RunOptions& options, bool terminal) {
    ProxyEnvironment env = terminal ? ProxyEnvironment::Read() : ProxyEnvironment{};
    if (options.noProxy) {
        SetRunProxyRule([](std::string_view) { return DetectedProxy{}; });
    } else if (!options.proxy.empty()) {
        DetectedProxy proxy = ParseProxyText(options.proxy);
        SetRunProxyRule([proxy, noProxy = env.noProxy](std::string_view url) {
            UrlParts parts;
            ParseUrl(url, parts, 0);
            return NoProxyNames(noProxy, parts.host) ? DetectedProxy{} : proxy;
        });
    } else if (env.NamesProxy()) {
        SetRunProxyRule([env](std::string_view url) { return env.For(url); });
    } else {
        SetRunProxyRule({}); // the stored settings
    }
}

// "zip,iso" or "*.zip;*.iso" as the link filter's list.
std::string FilterList(std::string list) {
    for (char& c : list)
        if (c == ',')
            c = ';';
    return list;
}
} // namespace

bool ApplyRunOptions(const RunOptions& options, bool terminal, std::vector<RunList>& lists,
                     std::string& error) {
    SettingsStore& settings = Settings();
    if (!options.caFile.empty()) {
        if (!QFileInfo(QString::fromStdString(options.caFile)).isReadable()) {
            error = "cannot read the certificate file '" + options.caFile + "'";
            return false;
        }
        settings.OverrideString(
            keys::CaFile,
            QFileInfo(QString::fromStdString(options.caFile)).absoluteFilePath().toStdString());
    }
    if (!options.logDir.empty()) {
        if (!QDir().mkpath(QString::fromStdString(options.logDir)) ||
            !QFileInfo(QString::fromStdString(options.logDir)).isWritable()) {
            error = "cannot use log directory '" + options.logDir + "'";
            return false;
        }
        settings.OverrideInt(keys::Log, 1);
    }
    if (options.timeout > 0)
        settings.OverrideInt(keys::Timeout, options.timeout);
    if (options.tries > 0)
        settings.OverrideInt(keys::MaxAttemp, options.tries);
    if (options.segments > 0)
        settings.OverrideInt(keys::Segments, options.segments);
    if (options.hlsMaxHeight >= 0)
        settings.OverrideInt(keys::HlsMaxHeight, options.hlsMaxHeight);
    if (options.hlsMaxBandwidth >= 0)
        settings.OverrideInt(keys::HlsMaxBandwidth, int(options.hlsMaxBandwidth));
    if (options.ftpPassive)
        settings.OverrideInt(keys::FtpPassive, 1);
    if (!options.accept.empty()) {
        settings.OverrideInt(keys::Filter, LinkFilter::RetrieveOnly);
        settings.OverrideString(keys::PassOnly, FilterList(options.accept));
    } else if (!options.reject.empty()) {
        settings.OverrideInt(keys::Filter, LinkFilter::GetAllExcept);
        settings.OverrideString(keys::Except, FilterList(options.reject));
    } else if (!options.links.empty()) {
        settings.OverrideInt(keys::Filter, LinkFilter::None);
    }
    SetRequestExtras(RequestExtras{options.userAgent, options.headers});
    ApplyProxies(options, terminal);

    std::string output = options.output;
    if (size_t slash = output.rfind('/'); slash != std::string::npos)
        output = output.substr(0, slash + 1); // the directory part of -o
    else
        output.clear();
    const std::string& dirOption = output.empty() ? options.dir : output;
    if (!dirOption.empty()) {
        QString dir = QDir(QString::fromStdString(dirOption)).absolutePath();
        if (!QDir().mkpath(dir) || !QFileInfo(dir).isWritable()) {
            error = "cannot use download directory '" + dirOption + "'";
            return false;
        }
        settings.OverrideString(keys::DownPath, dir.toStdString());
    }
    if (options.jobs > 0)
        settings.OverrideInt(keys::MaxDown, options.jobs);
    ReadGate::Instance().SetRunLimit(options.limitRate);
    lists.clear();
    for (const std::string& input : options.inputs) {
        RunList list{input, {}};
        if (input == "-") {
            list.name = "standard input";
            list.text.assign(std::istreambuf_iterator<char>(std::cin), {});
            if (std::cin.bad()) {
                error = "cannot read the list from standard input";
                return false;
            }
        } else {
            ByteBuffer file;
            if (!file.LoadFile(input)) {
                error = "cannot read list file '" + input + "'";
                return false;
            }
            list.text = file.ToString();
        }
        lists.push_back(std::move(list));
    }
    return true;
}

std::string WhyNoAddress(const std::string& text) {
    if (HasControlByte(text))
        return "a control character in the address";
    std::string address = NormalizeUrl(text);
    if (IsValidUrl(address))
        return {};
    if (address == text && text.find("://") == std::string::npos)
        return "no scheme, and the host has no dot: write it as http://" + text;
    if (!StartsWithNoCase(address, "pnm") && address.find(' ') != std::string::npos)
        return "a space in the address";
    return "not a valid address";
}

int AddRunAddresses(CVireoDoc& doc, const RunOptions& options, const std::vector<RunList>& lists,
                    std::ostream& err) {
    int refused = 0;
    auto add = [&](const std::string& text, const std::string& where,
                   const ItemOptions& itemOptions) {
        std::string why = WhyNoAddress(text);
        if (why.empty() && doc.AddUrl(NormalizeUrl(text), false, itemOptions))
            return;
        std::string shown = text;
        for (char& c : shown)
            if (HasControlByte(std::string_view(&c, 1)))
                c = '?';
        err << "vireo: " << where << "skipped '" << shown
            << "': " << (why.empty() ? "not a valid address" : why) << '\n';
        ++refused;
    };
    if (options.urls.empty() && lists.empty() && options.links.empty())
        doc.AddCommandLine({}); // the last list
    // Words are split again at spaces, as the window's command line always was.
    // --checksum belongs to the one address of the command line.
    ItemOptions wordOptions;
    wordOptions.digest = ParseDigestText(options.checksum);
    for (const std::string& word : options.urls) {
        for (size_t pos = 0; pos < word.size();) {
            size_t space = std::min(word.find(' ', pos), word.size());
            if (space > pos)
                add(TrimText(word.substr(pos, space - pos)), "", wordOptions);
            pos = space + 1;
        }
    }
    for (const RunList& list : lists) {
        for (const ListLine& line : ParseListText(list.text)) {
            std::string where = list.name + ":" + std::to_string(line.number) + ": ";
            if (line.problem.empty()) {
                add(line.text, where, line.options);
                continue;
            }
            err << "vireo: " << where << "skipped '" << line.text << "': " << line.problem << '\n';
            ++refused;
        }
        // The lines end at the first NUL; what follows it is told as one skip.
        size_t nul = list.text.find('\0');
        if (nul != std::string::npos &&
            list.text.find_first_not_of(std::string_view("\0\r\n \t", 5), nul) !=
                std::string::npos) {
            err << "vireo: " << list.name << ": skipped what follows the NUL byte at offset " << nul
                << '\n';
            ++refused;
        }
    }
    err.flush();
    return refused;
}

} // namespace vireo
