#include "shell/uRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "base/uFiles.h"

// The file templates are the ones the installation uses too; they live in packaging/.
static void InitRegistrationTemplates() {
  Q_INIT_RESOURCE(uRegistration);
}

namespace skimbrook {

namespace {

const QString ClientName = QStringLiteral("skimbrook-addfeed");
const QString IconName = QStringLiteral("skimbrook");

QString Template(const QString& Name) {
  InitRegistrationTemplates();
  QFile file(":/registration/" + Name);
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("Missing registration template " + Name.toStdString());
  return QString::fromUtf8(file.readAll());
}

QString Folder(const TRegistration& Registration) {
  return QFileInfo(Registration.ExecutablePath).absolutePath();
}

void RefuseControlCharacters(const QString& Path) {
  for (QChar c : Path) {
    if (c.category() == QChar::Other_Control)
      throw std::runtime_error("Cannot register a path containing a control character: " +
                               Path.toStdString());
  }
}

// One argument of the activation file's Exec line, which D-Bus splits like a shell: in
// single quotes, a single quote itself written as '\''. The file's own value escaping
// then doubles every backslash, or the bus would ignore the whole file.
QString ServiceExecArgument(const QString& Path) {
  RefuseControlCharacters(Path);
  QString quoted = Path;
  quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
  quoted = "'" + quoted + "'";
  quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  return quoted;
}

// One argument of a desktop entry's Exec key: in double quotes with ", `, $ and \ escaped
// by a backslash; then the key's own string escaping doubles every backslash, and a
// percent sign is doubled so that it is not taken for a field code.
QString DesktopExecArgument(const QString& Path) {
  RefuseControlCharacters(Path);
  QString quoted;
  for (QChar c : Path) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
      quoted += QLatin1Char('\\');
    quoted += c;
  }
  quoted = "\"" + quoted + "\"";
  quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
  return quoted;
}

// The icon beside the program when there is one (a copy run from its build folder), else
// the themed icon an installation provides.
QString IconValue(const TRegistration& Registration) {
  const QString besideProgram = Folder(Registration) + "/" + IconName + ".svg";
  if (!QFileInfo::exists(besideProgram)) return IconName;
  RefuseControlCharacters(besideProgram);
  return besideProgram;
}

QString Filled(QString Text, const TRegistration& Registration) {
  Text.replace(QStringLiteral("@SERVICE_EXEC@"), ServiceExecArgument(Registration.ExecutablePath));
  Text.replace(QStringLiteral("@SKIMBROOK_EXEC@"), DesktopExecArgument(Registration.ExecutablePath));
  Text.replace(QStringLiteral("@ADDFEED_EXEC@"),
               DesktopExecArgument(Folder(Registration) + "/" + ClientName));
  Text.replace(QStringLiteral("@SKIMBROOK_ICON@"), IconValue(Registration));
  return Text;
}

// Unchanged files are left alone: the registration is written at every start.
void WriteIfChanged(const QString& Path, const QString& Text) {
  const std::string path = QFile::encodeName(Path).toStdString();
  const QByteArray bytes = Text.toUtf8();
  const std::string_view wanted(bytes.constData(), static_cast<size_t>(bytes.size()));
  if (FileExists(path)) {
    try {
      if (ReadFileBytes(path) == wanted) return;
    } catch (const std::exception&) {
      // An unreadable file is replaced like a different one.
    }
  }
  if (!QDir().mkpath(QFileInfo(Path).absolutePath()))
    throw std::runtime_error("Cannot create the folder of \"" + path + "\".");
  WriteFileAtomic(path, wanted);
}

void RemoveIfPresent(const QString& Path) {
  QFile file(Path);
  if (!file.exists()) return;
  if (!file.remove())
    throw std::runtime_error("Cannot remove \"" + Path.toStdString() + "\". " +
                             file.errorString().toStdString());
}

// Whether one of the system's data folders holds RelativePath with exactly Text.
bool SystemHolds(const TRegistration& Registration, const QString& RelativePath, const QString& Text) {
  const QByteArray wanted = Text.toUtf8();
  for (const QString& folder : Registration.SystemDataDirs) {
    QFile file(folder + "/" + RelativePath);
    if (file.open(QIODevice::ReadOnly) && file.readAll() == wanted) return true;
  }
  return false;
}

// The user's file at DataHome + "/" + RelativePath, unless the system already has it.
void Register(const TRegistration& Registration, const QString& RelativePath, const QString& Text) {
  const QString userFile = Registration.DataHome + "/" + RelativePath;
  if (SystemHolds(Registration, RelativePath, Text))
    RemoveIfPresent(userFile);
  else
    WriteIfChanged(userFile, Text);
}

const QString ServiceFile = QStringLiteral("dbus-1/services/org.skimbrook.Skimbrook.service");
const QString DesktopEntryFile = QStringLiteral("applications/skimbrook.desktop");
const QString HandlerEntryFile = QStringLiteral("applications/skimbrook-addfeed.desktop");

// The absolute folders of a colon-separated list, as the base directory rules read it.
QStringList AbsoluteFolders(const QString& List) {
  QStringList folders;
  for (const QString& folder : List.split(QLatin1Char(':'), Qt::SkipEmptyParts))
    if (QDir::isAbsolutePath(folder)) folders << folder;
  return folders;
}

bool IsSwitch(const QString& Argument, QLatin1String Name) {
  if (Argument.size() != Name.size() + 1) return false;
  if (Argument[0] != QLatin1Char('-') && Argument[0] != QLatin1Char('/')) return false;
  return QStringView(Argument).mid(1).compare(Name, Qt::CaseInsensitive) == 0;
}

TStartOutcome RegisterAndExit(const TRegistration& Registration) {
  try {
    WriteRegistration(Registration);
    return {true, 0, false};
  } catch (const std::exception& error) {
    SayOnStandardError("cannot register: " + QString::fromUtf8(error.what()));
    return {true, 1, false};
  }
}

TStartOutcome UnregisterAndExit(const TRegistration& Registration) {
  try {
    RemoveRegistration(Registration);
    return {true, 0, false};
  } catch (const std::exception& error) {
    SayOnStandardError("cannot unregister: " + QString::fromUtf8(error.what()));
    return {true, 1, false};
  }
}

}  // namespace

void SayOnStandardError(const QString& Text) {
  std::fputs(("Skimbrook: " + Text + "\n").toLocal8Bit().constData(), stderr);
  std::fflush(stderr);
}

TRegistration TRegistration::ForThisProgram() {
  TRegistration registration;
  registration.ExecutablePath = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
  const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  registration.DataHome =
      QDir::isAbsolutePath(dataHome) ? dataHome : QDir::homePath() + QStringLiteral("/.local/share");
  registration.SystemDataDirs = AbsoluteFolders(qEnvironmentVariable("XDG_DATA_DIRS"));
  if (registration.SystemDataDirs.isEmpty())
    registration.SystemDataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
  return registration;
}

QString ServiceFilePath(const TRegistration& Registration) {
  return Registration.DataHome + "/" + ServiceFile;
}

QString DesktopEntryPath(const TRegistration& Registration) {
  return Registration.DataHome + "/" + DesktopEntryFile;
}

QString HandlerEntryPath(const TRegistration& Registration) {
  return Registration.DataHome + "/" + HandlerEntryFile;
}

QString ServiceFileText(const TRegistration& Registration) {
  return Filled(Template(QStringLiteral("org.skimbrook.Skimbrook.service.in")), Registration);
}

QString DesktopEntryText(const TRegistration& Registration) {
  return Filled(Template(QStringLiteral("skimbrook.desktop.in")), Registration);
}

QString HandlerEntryText(const TRegistration& Registration) {
  return Filled(Template(QStringLiteral("skimbrook-addfeed.desktop.in")), Registration);
}

void WriteRegistration(const TRegistration& Registration) {
  Register(Registration, ServiceFile, ServiceFileText(Registration));
  Register(Registration, DesktopEntryFile, DesktopEntryText(Registration));
  Register(Registration, HandlerEntryFile, HandlerEntryText(Registration));
}

void RemoveRegistration(const TRegistration& Registration) {
  RemoveIfPresent(ServiceFilePath(Registration));
  RemoveIfPresent(DesktopEntryPath(Registration));
  RemoveIfPresent(HandlerEntryPath(Registration));
}

TStartSwitches ReadStartSwitches(const QStringList& Arguments) {
  TStartSwitches switches;
  for (const QString& argument : Arguments) {
    if (IsSwitch(argument, QLatin1String("AUTOMATION")) || IsSwitch(argument, QLatin1String("EMBEDDING")))
      switches.Automation = true;
    else if (IsSwitch(argument, QLatin1String("REGSERVER")))
      switches.RegServer = true;
    else if (IsSwitch(argument, QLatin1String("UNREGSERVER")))
      switches.UnregServer = true;
  }
  return switches;
}

TStartOutcome HandleStartSwitches(const QStringList& Arguments, const TRegistration& Registration) {
  const TStartSwitches switches = ReadStartSwitches(Arguments);
  // A start by D-Bus activation serves its caller, whatever else the line holds.
  if (!switches.Automation) {
    if (switches.RegServer) return RegisterAndExit(Registration);
    if (switches.UnregServer) return UnregisterAndExit(Registration);
  }
  try {
    WriteRegistration(Registration);
  } catch (const std::exception&) {
    // A start goes on without the registration.
  }
  return {false, 0, switches.Automation};
}

TStartOutcome HandleStartSwitches(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return HandleStartSwitches(arguments, TRegistration::ForThisProgram());
}

}  // namespace skimbrook
