// The session file "OrlendaSession.xml": the positions of the main window's
// splitters between runs, one element per splitter:
//   <OrlendaSession><FormMain><PairSplitter1 Position="160"/>...</FormMain></OrlendaSession>
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace app {

// The session's property list in its order; only some of these splitters exist.
inline constexpr std::array<std::string_view, 19> kSessionProperties = {
    "PairSplitter1.Position",  "PairSplitter11.Position", "PairSplitter12.Position",
    "PairSplitter13.Position", "PairSplitter14.Position", "PairSplitter15.Position",
    "PairSplitter16.Position", "PairSplitter17.Position", "PairSplitter18.Position",
    "PairSplitter19.Position", "PairSplitter2.Position",  "PairSplitter20.Position",
    "PairSplitter3.Position",  "PairSplitter4.Position",  "PairSplitter5.Position",
    "PairSplitter6.Position",  "PairSplitter7.Position",  "PairSplitter8.Position",
    "PairSplitter9.Position"};

// The values of `path` by property name ("PairSplitter1.Position"). A missing
// or unreadable file gives none; an element that is not a listed splitter or
// whose position is not a whole number from 0 up is skipped, and so is
// everything after the point where the text stops being well-formed XML.
std::map<std::string, int> ReadSessionFile(const std::string& path);

// Whether `name` is one of kSessionProperties.
bool IsSessionProperty(const std::string& name);

// Writes the values whole or not at all (a temporary file renamed over
// `path`). Returns "" on success, else the reason.
std::string WriteSessionFile(const std::string& path,
                             const std::vector<std::pair<std::string, int>>& values);

}  // namespace app
