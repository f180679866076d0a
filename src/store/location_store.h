// Stored locations: key SOFTWARE\Orlenta\SessionInfo\<id> under HKEY_LOCAL_MACHINE.
#pragma once

#include <cstdint>
#include <string>

#include "store/location.h"
#include "store/registry_access.h"

namespace netvane::store {

inline constexpr std::string_view kSessionInfoPath = "SOFTWARE\\Orlenta\\SessionInfo";

// The key of location `id`.
std::string LocationKeyPath(int16_t id);
// Whether a subkey name of SessionInfo names a location: decimal 1 to 32767 as the program
// writes it (no sign, no leading zero); `id` receives the number.
bool ParseLocationKeyName(std::string_view name, int16_t* id);

class LocationStore {
 public:
  explicit LocationStore(RegistryAccess& registry) : reg_(registry) {}

  // Reads location `id`; a missing key gives a blank record carrying the id.
  LocationRecord LoadLocation(int16_t id);
  // Writes the record under key `id`, replacing what was there. On failure the previous
  // content of the key is put back (or the key removed when there was none) and the result
  // is false.
  bool SaveLocation(int16_t id, const LocationRecord& record);
  // Replaces only the remembered network of an existing location.
  bool SaveNetworkPrint(int16_t id, const NetworkPrint& print);
  // Fills `table` with every stored location in the registry's listing order; subkeys that
  // do not name a location are skipped. Returns the number loaded.
  int LoadLocations(LocationTable& table);
  // Removes the location's key with all subkeys; true when it is gone.
  bool DeleteLocation(int16_t id);
  // Marks `id` active in the registry and the tables, and the other active locations of the
  // same adapter inactive. False, with nothing changed, when the first write fails or the id
  // is not in `table`.
  bool SetActiveLocation(int16_t id, LocationTable& table, ActiveLocationTable& active);

 private:
  bool WriteLocation(const std::string& key, const LocationRecord& record);
  // The parts of LoadLocation: the location's own values, its TCP/IP values, its proxy flags
  // and settings.
  void ReadMain(const std::string& key, LocationRecord& record);
  void ReadTcpIp(const std::string& key, LocationRecord& record);
  void ReadProxies(const std::string& key, LocationRecord& record);
  void ReadProxy(const std::string& key, ProxySettings& proxy);
  bool WriteProxy(const std::string& key, const ProxySettings& proxy);
  // `replacing`: over a print already stored, whose values left empty are removed.
  bool WriteNetworkPrint(const std::string& key, const NetworkPrint& print, bool replacing);

  RegistryAccess& reg_;
};

}  // namespace netvane::store
