#include "shell/recogniser.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>

namespace netvane::shell {

Recogniser::Recogniser(platform::NetworkProbe& probe, engine::AppState& state, QObject* parent)
    : QObject(parent), probe_(probe), state_(state) {
  clock_.start();
  settle_.setSingleShot(true);
  connect(&settle_, &QTimer::timeout, this, [this] {
    for (const std::string& adapter : schedule_.Due(Now())) Run(adapter);
    ArmSettleTimer();
  });
}

Recogniser::~Recogniser() {
  watch_.reset();
  for (auto& [adapter, thread] : running_) thread.join();
}

void Recogniser::Start() {
  QPointer<Recogniser> self(this);
  watch_ = probe_.WatchLinks([self](const std::string& adapter, bool up) {
    // From the watcher's thread: the schedule lives on the window's.
    QMetaObject::invokeMethod(
        self.data(),
        [self, adapter, up] {
          if (self) self->LinkChanged(adapter, up);
        },
        Qt::QueuedConnection);
  });
  RecogniseAll(false);
}

void Recogniser::RecogniseAll(bool on_demand) {
  for (const store::AdapterEntry& adapter : state_.AdapterTable) {
    const bool has_locations =
        std::any_of(state_.LocationTable.begin(), state_.LocationTable.end(),
                    [&](const store::LocationRecord& r) {
                      return engine::SameAdapter(r.NIC_ID, adapter.AdapterId);
                    });
    // An adapter whose locations remember nothing is not counted as asked.
    if (!has_locations ||
        engine::RecognitionRequest(state_.LocationTable, adapter.AdapterId).gateways.empty()) {
      continue;
    }
    if (schedule_.Take(adapter.AdapterId, Now()) || on_demand) Run(adapter.AdapterId);
  }
}

void Recogniser::LinkChanged(const std::string& adapter, bool up) {
  schedule_.LinkChanged(adapter, up, Now());
  ArmSettleTimer();
}

void Recogniser::ArmSettleTimer() {
  const std::optional<int64_t> next = schedule_.NextDue();
  if (!next) return;
  settle_.start(static_cast<int>(std::max<int64_t>(0, *next - Now())));
}

void Recogniser::Run(const std::string& adapter) {
  const platform::ProbeRequest request = engine::RecognitionRequest(state_.LocationTable, adapter);
  // Nothing remembered, or a probe of the adapter still under way.
  if (request.gateways.empty() || running_.count(adapter) != 0) return;
  running_[adapter] = std::thread([this, request] {
    platform::ProbeResult result = probe_.Probe(request);
    QMetaObject::invokeMethod(
        this, [this, adapter = request.adapter, result] { Decide(adapter, result); },
        Qt::QueuedConnection);
  });
}

void Recogniser::Decide(const std::string& adapter, const platform::ProbeResult& result) {
  const auto it = running_.find(adapter);
  if (it != running_.end()) {
    it->second.join();
    running_.erase(it);
  }
  // The table may have changed meanwhile: the decision is over what it holds now.
  const int16_t id = engine::Recognise(state_.LocationTable, adapter, result).location;
  if (id >= 0) emit Recognised(id);
}

}  // namespace netvane::shell
