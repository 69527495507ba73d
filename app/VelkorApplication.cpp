#include "app/VelkorApplication.h"

#include <exception>
#include <string>

#include "core/Dialogs.h"

namespace velkor {

TVelkorApplication::TVelkorApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TVelkorApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& e) {
    VQRMsgDlg(e.what(), mtError, {mbOK});
  } catch (...) {
    VQRMsgDlg("Lỗi không xác định", mtError, {mbOK});
  }
  return false;
}

}  // namespace velkor
