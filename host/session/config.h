// The plug-in's configuration folder, as the host finds and checks it.
#pragma once

#include <string>

namespace host {

// The configuration folder the plug-in uses, by the rule of
// velastra/config_dir.h; empty when none can be named.
std::string ConfigDir();
// Whether the profile win.ini in `dir` can be written (creating the folder
// when it is missing); a one-line reason when it cannot.
bool ProfileWritable(const std::string& dir, std::string* reason);

}  // namespace host
