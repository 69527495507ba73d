// Velkor: the judge's program.
//
// Start-up runs each module's start-up in one fixed order, the order in
// which they depend on each other; clean-up runs the same list backwards
// once the main window has closed. The QApplication comes first, because
// fonts, cursors and the single-instance socket need it, but no window
// exists before the single-instance guard has decided that this copy runs:
// a second copy hands its parameters over and ends before the data model
// starts, so it never writes the configuration of the running copy. A copy
// of another account or home that would share the running one's work or
// unpack folder learns so once the configuration is read, and ends without
// a window.
#include <QTimer>

#include <memory>

#include "app/AboutU.h"
#include "app/CoreHooks.h"
#include "app/JudgeU.h"
#include "app/MainFormLink.h"
#include "app/MainUnit.h"
#include "app/ProgramVersion.h"
#include "app/QtTexts.h"
#include "app/RunOnceUtils.h"
#include "app/VelkorApplication.h"
#include "components/CursorRoutines.h"
#include "components/DefaultFonts.h"
#include "components/LowLevel.h"
#include "components/TrueImages.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "graphics/RasterStartup.h"
#include "graphics/Raster_Filters.h"
#include "graphics_toolkit/RasterToolkitStartup.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "styling/Menus.h"
#include "styling/SysControls.h"
#include "toolkit/VisualStyles.h"

using namespace velkor;

int main(int argc, char** argv) {
  TVelkorApplication application(argc, argv);

  TSystemInfoOptions options;
  options.VersionResource = &ProgramVersionResource();
  SystemInfoInit(argc, argv, options);
  if (!RunOnceUtilsStartup()) {
    SystemInfoFinalize();
    return 0;
  }
  DefaultFontsStartup();
  RasterStartup();
  RasterToolkitStartup();
  Raster_Filters::Startup();
  LowLevel::BindFillLongword();
  TrueImagesStartup();
  InstallQtTexts();
  InstallProgramIcon();
  LoadAppCursors();
  FileUtilsInit();
  MainFormLink::InstallHelpRoute();
  InstallCoreHooks();
  InitializeGlobals();
  SysControlsStartup();
  MenusStartup();
  InitErrorModeAPI();

  // The application's title (kApplicationTitle) captions the message boxes
  // only: an application display name would be appended to every window's
  // caption, the main window's included, which a second copy reads back.
  ApplyStyle("Default");
  int code = kFoldersHeldExitCode;
  const bool holdsFolders = HoldWorkFoldersAtStart();
  if (holdsFolders) {
    if (MyParams.empty()) ShowSplash();
    std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>();
    MainForm = form.get();
    form->show();
    // What start-up could not read of the configuration is told over the
    // main window, once the message loop runs: a message box before it
    // would stand alone, ahead of the program it speaks of.
    QTimer::singleShot(0, form.get(), [] { ShowConfigurationNotice(); });
    code = application.exec();
    MainForm = nullptr;
  }

  DoneErrorModeAPI();
  MenusCleanup();
  SysControlsCleanup();
  FinalizeGlobals(holdsFolders ? TConfigurationAtExit::Save : TConfigurationAtExit::Leave);
  RemoveCoreHooks();
  FileUtilsFinalize();
  TrueImagesShutdown();
  Raster_Filters::Shutdown();
  RasterToolkitShutdown();
  RasterShutdown();
  DefaultFontsShutdown();
  RunOnceUtilsCleanup();
  SystemInfoFinalize();
  return code;
}
