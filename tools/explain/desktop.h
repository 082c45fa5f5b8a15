// Fraywick-explain: a player drops a recording on it and gets a page that answers "did a brawl
// start?". What it needs of the desktop it runs on (the console, the browser) is in one edge file
// per system; the work itself, here, is the same everywhere.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace fraywick::explain {

// Text for the person at the console, in UTF-8.
void say(std::string_view text);

// Waits for a key when the console window was opened for this program alone, as when a player
// drops a file on it or double-clicks it: that window closes with the program, before anyone has
// read it. In a console the player opened, or with no console, it returns at once.
void waitForKey();

// Opens the page in the player's browser; false when that could not be done.
bool openInBrowser(const std::filesystem::path& page);

// The program, given the files dropped on it: its exit status.
int explainDropped(const std::vector<std::filesystem::path>& files);

}  // namespace fraywick::explain
