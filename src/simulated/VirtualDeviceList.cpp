#include "simulated/VirtualDeviceList.h"

#include <iostream>

namespace qelvo {
namespace {

std::string trim(const std::string& s) {
    const auto begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    const auto end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

bool parseOptions(const std::string& body, VirtualDeviceEntry& entry) {
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t comma = body.find(',', start);
        if (comma == std::string::npos) comma = body.size();
        const std::string item = trim(body.substr(start, comma - start));
        if (!item.empty()) {
            const auto eq = item.find('=');
            if (eq == 0) return false;
            if (eq == std::string::npos)
                entry.options.emplace_back(item, "");
            else
                entry.options.emplace_back(trim(item.substr(0, eq)), trim(item.substr(eq + 1)));
        }
        start = comma + 1;
    }
    return true;
}

}  // namespace

std::vector<VirtualDeviceEntry> parseVirtualDeviceList(const std::string& list) {
    std::vector<VirtualDeviceEntry> entries;
    if (trim(list).empty()) return entries;
    std::size_t start = 0;
    int index = 0;
    while (start <= list.size()) {
        std::size_t semi = list.find(';', start);
        if (semi == std::string::npos) semi = list.size();
        const std::string raw = list.substr(start, semi - start);
        start = semi + 1;
        ++index;
        const std::string text = trim(raw);
        if (text.empty()) {
            if (semi != list.size())  // a trailing ';' is fine
                std::cerr << "qelvo-tarnel: QELVO_VIRTUAL_DEVICES entry " << index
                          << " is empty; skipped\n";
            continue;
        }
        VirtualDeviceEntry entry;
        const auto open = text.find('{');
        const auto close = text.find('}');
        bool ok = true;
        if (open == std::string::npos) {
            ok = close == std::string::npos;
            entry.friendlyName = text;
        } else {
            ok = close != std::string::npos && close == text.size() - 1 && close > open &&
                 text.find('{', open + 1) == std::string::npos;
            entry.friendlyName = trim(text.substr(0, open));
            if (ok) ok = parseOptions(text.substr(open + 1, close - open - 1), entry);
        }
        if (!ok || entry.friendlyName.empty()) {
            std::cerr << "qelvo-tarnel: QELVO_VIRTUAL_DEVICES entry " << index << " (\"" << text
                      << "\") is malformed; skipped\n";
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace qelvo
