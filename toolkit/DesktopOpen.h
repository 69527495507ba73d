// Opening a path with the desktop's application for it (a spreadsheet in
// the spreadsheet program, a folder in the file manager, the help page in
// the browser). One replaceable routine, so tests record what would have
// been opened instead of starting programs.
#pragma once

#include <functional>
#include <string>

namespace velkor {

// Opens Path (a local file or folder, or a URL with a scheme) and says
// whether the desktop did: false when it has no application for it or could
// not start one (DesktopOpenError says why). The desktop's opener returns
// once the application runs; the wait for it keeps the windows painted but
// takes no input, and an opener still busy after DesktopOpenWait counts as
// having started the application.
bool DesktopOpen(const std::string& Path);

// Why the last failed DesktopOpen failed, in Vietnamese ("" when the
// opener gave no reason or the last one succeeded).
std::string DesktopOpenError();

// How long DesktopOpen waits for the desktop's opener, in milliseconds;
// returns the previous value. For tests.
int SetDesktopOpenWait(int Milliseconds);

// The URL the desktop is asked to open for Path: a URL with a scheme as it
// is, anything else a local file, a relative one taken from the current
// folder (the desktop's opener does not run there).
std::string DesktopUrl(const std::string& Path);

using TDesktopOpener = std::function<bool(const std::string& Path)>;
// Replaces the routine; an empty one restores the desktop's. Returns the
// previous one, so a test can put it back.
TDesktopOpener SetDesktopOpener(TDesktopOpener Opener);

}  // namespace velkor
