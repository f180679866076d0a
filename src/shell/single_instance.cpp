#include "shell/single_instance.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace netvane::shell {
namespace {

constexpr int kWaitMs = 1000;

}  // namespace

SingleInstance::SingleInstance(QString key, QObject* parent)
    : QObject(parent), key_(std::move(key)) {}

SingleInstance::~SingleInstance() {
  if (server_ != nullptr) server_->close();
}

QString SingleInstance::DefaultKey() {
  QString user = qEnvironmentVariable("USER");
  if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
  return QStringLiteral("netvane-2.0-") + user;
}

bool SingleInstance::BecomePrimary() {
  QLocalSocket peer;
  peer.connectToServer(key_);
  if (peer.waitForConnected(kWaitMs)) {
    peer.write("activate\n");
    peer.waitForBytesWritten(kWaitMs);
    peer.disconnectFromServer();
    return false;
  }
  // Nobody answers: a name left by an instance that ended abnormally is taken over.
  server_ = new QLocalServer(this);
  if (!server_->listen(key_)) {
    QLocalServer::removeServer(key_);
    server_->listen(key_);
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
      connect(s, &QLocalSocket::readyRead, this, [this, s] {
        if (s->readAll().startsWith("activate")) emit ActivationRequested();
        s->deleteLater();
      });
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    }
  });
  return true;
}

}  // namespace netvane::shell
