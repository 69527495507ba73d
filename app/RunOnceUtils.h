// One Velkor per account, and the hand-over of a later copy's parameters.
//
// Start-up takes the lock of toolkit/SingleInstance.h right after the
// system information. A copy that finds it held does not start: it writes
// its parameters to the hand-over file, tells the running copy through the
// local socket and ends before the data model starts, so it never saves the
// configuration over the running copy's. The running copy's main window
// reads the file, deletes it and acts on "/CLEAN" and "/LOAD".
//
// The lock, its socket and the hand-over file lie in the account's runtime
// folder (platform::RuntimeFolder), never in the temporary folder: a copy
// started with another TMPDIR is the same account's second copy all the
// same.
//
// The hand-over file "VelkorParams": little-endian,
// no header, no terminators:
//
//   Int32 count
//   count times: Int32 length (UTF-16 code units, 0 allowed), then the
//                parameter's code units, UTF-16LE
#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace velkor {

class TSingleInstanceLock;
class TSingleInstanceServer;

// The main window's caption (exactly 37 UTF-16 code units; the window adds
// the contest's file name behind it) and the application's own title.
inline constexpr const char* kMainFormCaption = "Βέλκο - Chương trình chấm bài tự động";
inline constexpr std::size_t kMainFormCaptionUnits = 37;
inline constexpr const char* kApplicationTitle = "Velkor - Chương trình chấm bài tự động";

inline constexpr const char* kParamsHandOverFileName = "VelkorParams";

// The lock this copy holds for its whole run; null when the guard was
// skipped (under a debugger) or could not be taken at all.
extern std::unique_ptr<TSingleInstanceLock> SingleInstanceMutex;

// The guard. True: this copy goes on starting. False: another copy runs,
// this copy has handed its parameters over, said so on standard error, and
// must end now (exit code 0).
bool RunOnceUtilsStartup();
// Gives the lock up.
void RunOnceUtilsCleanup();

// The second guard, once the configuration is read: this copy holds the
// places of its work folder and unpack folder (judging/FolderLocks.h),
// which a Velkor of another account or home may share. True: this copy
// goes on. False: another process holds one of them; the jury has been
// told on standard error, and in a message box where there is a screen to
// show it on, and this copy must end without a window (exit code 1).
bool HoldWorkFoldersAtStart();
inline constexpr int kFoldersHeldExitCode = 1;

// Writes the hand-over file from MyParams (the argument after "/LOAD" made
// absolute against this copy's working folder) and tells the running
// window. True when a running main window was told; otherwise the file
// stays behind.
bool SendParamsToRunningInstance();

// The hand-over file, the socket and the lock file, in the runtime folder.
std::string ParamsHandOverFile();
QString ParamsServerName();
std::string SingleInstanceLockFile();

// Whether Caption is a main window's: its first 37 UTF-16 code units equal
// the base caption, ASCII letters compared without case; anything may
// follow them.
bool IsMainFormCaption(const QString& Caption);

// The parameters as they are handed over: every argument after a "/LOAD"
// (any letter case) that is a relative path becomes absolute against
// WorkDir, since the running copy's working folder may be another.
std::vector<std::string> ParamsForHandOver(const std::vector<std::string>& Params, const std::string& WorkDir);

// The file's bytes for Params, and back. Decoding refuses (false, Params
// empty) a short input, a negative count or length, and a count or length
// beyond the bytes that are left; bytes after the last entry are not read.
std::string EncodeHandOverParams(const std::vector<std::string>& Params);
bool DecodeHandOverParams(std::string_view Bytes, std::vector<std::string>& Params);

// The file itself, opened without following a symbolic link; writing
// creates it readable by this user only. Reading refuses what decoding
// refuses, and anything that is not a regular file of at most 16 MiB.
bool WriteParamsHandOverFile(const std::string& Path, const std::vector<std::string>& Params);
bool ReadParamsHandOverFile(const std::string& Path, std::vector<std::string>& Params);

// The main window's end of the socket: answers with Window's title and
// runs OnHandOver on the GUI thread for every request. Null when the socket
// cannot be listened on, or another copy (one started without the lock)
// answers on it already; the window then simply gets no hand-overs.
std::unique_ptr<TSingleInstanceServer> StartParamsServer(QWidget* Window, std::function<void()> OnHandOver);

}  // namespace velkor
