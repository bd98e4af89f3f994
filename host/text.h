// Small text helpers the host and lumhost share.
#pragma once

#include <string>

namespace lumhost {

inline bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// `text` on one line with no tabs, for a one-line message or a tab-separated field.
inline std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\t') c = ' ';
    }
    return text;
}

}  // namespace lumhost
