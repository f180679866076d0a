// One Netvane per user: the first instance listens on a local socket named after the user;
// a later one tells it to come forward and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace netvane::shell {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstance(QString key, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this is the only instance; otherwise the running one has been asked to come
  // forward.
  bool BecomePrimary();
  // The key of the running user's instance.
  static QString DefaultKey();

 signals:
  void ActivationRequested();

 private:
  QString key_;
  QLocalServer* server_ = nullptr;
};

}  // namespace netvane::shell
