// Recognition in the window's program: every adapter with locations at start, each adapter
// whose link has settled, and on demand; the probes run on a thread of their own so that the
// window goes on answering, and the decision comes back on the window's thread.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "engine/app_state.h"
#include "engine/recognition.h"
#include "platform/network_probe.h"

namespace netvane::shell {

class Recogniser : public QObject {
  Q_OBJECT

 public:
  Recogniser(platform::NetworkProbe& probe, engine::AppState& state, QObject* parent = nullptr);
  // Waits for probes still under way (each ends within its timeout).
  ~Recogniser() override;

  // Starts watching links and asks about every adapter that has locations.
  void Start();
  // Asks about every adapter that has locations now (on demand: the ten seconds do not count).
  void RecogniseAll(bool on_demand);
  // What the link watcher says, on the window's thread.
  void LinkChanged(const std::string& adapter, bool up);

 signals:
  // The one location whose network the adapter is plugged into.
  void Recognised(int location_id);

 private:
  void Run(const std::string& adapter);
  void Decide(const std::string& adapter, const platform::ProbeResult& result);
  void ArmSettleTimer();
  int64_t Now() const { return clock_.elapsed(); }

  platform::NetworkProbe& probe_;
  engine::AppState& state_;
  engine::RecognitionSchedule schedule_;
  QElapsedTimer clock_;
  QTimer settle_;
  std::unique_ptr<platform::LinkWatch> watch_;
  // The probe under way for each adapter.
  std::map<std::string, std::thread> running_;
};

}  // namespace netvane::shell
