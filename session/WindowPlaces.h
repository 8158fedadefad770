#pragma once
// Where the operator left each resizable window, kept per user in the state
// file ($XDG_STATE_HOME/fieldservice/state.ini, section "Windows") beside the
// folder the choosers showed last: no setting, and nothing for the
// installation. A context without the user's folders keeps nothing.
#include <string>

struct Settings;

// The value kept for the window key; empty when none was.
std::string windowPlace(const Settings& settings, const std::string& key);
// Keeps value for the window key; a failure only costs the place next time.
void rememberWindowPlace(const Settings& settings, const std::string& key, const std::string& value);
