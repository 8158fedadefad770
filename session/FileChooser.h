#pragma once
// The file choosers as every command opens them. A chooser starts in the
// folder the operator last chose a file in (remembered per user across
// runs), the first time in the user's documents folder, never in the
// installation folder; a save proposes a name.
#include <optional>
#include <string>

class AppContext;
struct Settings;

// The file to read, or nothing when the operator cancelled.
std::optional<std::string> chooseFileToOpen(AppContext& ctx, const std::string& filter,
                                            const std::string& extension, const std::string& caption = {});
// The file to write, or nothing when the operator cancelled.
std::optional<std::string> chooseFileToSave(AppContext& ctx, const std::string& filter,
                                            const std::string& extension, const std::string& proposedName = {});

// Where the next chooser starts: the remembered folder while it exists, else
// the documents folder, else home; the current directory in a context
// without the user's folders.
std::string chooserStartFolder(const Settings& settings);
// Remembers the folder of path as the one to start in next time.
void rememberChosenFile(Settings& settings, const std::string& path);
