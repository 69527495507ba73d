// The reference of the start-up benchmark: a bare QApplication with an
// empty QMainWindow, answering on a local socket (argv[1]) once its event
// loop runs, exactly as Velkor's main window does.
#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) return 2;
  QMainWindow window;
  window.setWindowTitle("bare");
  window.resize(800, 600);
  window.show();
  QLocalServer server;
  QLocalServer::removeServer(argv[1]);
  if (!server.listen(argv[1])) return 1;
  QObject::connect(&server, &QLocalServer::newConnection, [&] {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
      socket->write("bare\n");
      socket->flush();
    }
  });
  return application.exec();
}
