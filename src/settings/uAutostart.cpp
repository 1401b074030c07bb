#include "settings/uAutostart.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace skimbrook {

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) return user->pw_dir;
  return {};
}

std::string WithoutTrailingSlashes(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
  return Path;
}

bool IsFileNameCharacter(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' || C == '_' ||
         C == '.' || C == '+';
}

// Inside a quoted Exec argument, '"', '`', '$' and '\' need a backslash, and '%' starts a
// field code unless doubled.
std::string QuoteExecArgument(const std::string& Argument) {
  std::string quoted = "\"";
  for (char c : Argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + '"';
}

// The escapes of a string value, which a reader undoes before it splits Exec into
// arguments.
std::string EscapeDesktopString(const std::string& Text) {
  std::string escaped;
  for (char c : Text) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\t':
        escaped += "\\t";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::string UserConfigFolder() {
  // Relative values are invalid for XDG_CONFIG_HOME and must be ignored.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    return WithoutTrailingSlashes(config);
  return HomeFolder() + "/.config";
}

std::string DefaultAutostartFolder() {
  return UserConfigFolder() + "/autostart";
}

std::string AutostartFileName(const std::string& ProgramName) {
  // Lower case, since the Run value's name ignores letter case and any spelling of it must
  // find the same entry.
  std::string name = ProgramName;
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!IsFileNameCharacter(c)) c = '_';
  }
  if (name.empty() || name.front() == '.') name.insert(0, "skimbrook");
  return name + ".desktop";
}

std::string DesktopExecValue(const std::string& Path) {
  return EscapeDesktopString(QuoteExecArgument(Path));
}

std::string AutostartEntryText(const std::string& ExecutablePath) {
  // The desktop entry format has its own line ends: LF, not the CR LF of our files.
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Version=1.0\n"
         "Name=Skimbrook\n"
         "Comment=News-feed reader\n"
         "Exec=" +
         DesktopExecValue(ExecutablePath) +
         "\n"
         "Icon=skimbrook\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace skimbrook
