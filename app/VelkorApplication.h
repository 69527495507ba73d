// The program's QApplication. An exception that escapes an event handler
// would end the program inside Qt; here it is shown to the jury as an error
// message instead, and the program goes on.
#pragma once

#include <QApplication>

namespace velkor {

class TVelkorApplication : public QApplication {
 public:
  TVelkorApplication(int& argc, char** argv);
  bool notify(QObject* Receiver, QEvent* Event) override;
};

}  // namespace velkor
