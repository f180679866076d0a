// The location tree's nodes: keys, captions, images and grouping by adapter.
#include "engine/location_tree.h"

#include <gtest/gtest.h>

namespace netvane::testing {
namespace {

using engine::TreeNode;
using store::LocationRecord;

LocationRecord Location(int16_t id, const std::string& name, const std::string& nic,
                        const std::string& kind) {
  LocationRecord r;
  r.LocationId = id;
  r.SessionName = name;
  r.NIC_ID = nic;
  r.NIC_NAME = "Card " + nic;
  r.ServiceType = kind;
  r.IPAddress = "10.0.0.7";
  return r;
}

TEST(CaptionSuffix, FollowsTheConnectionKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"USE_DHCP", " (Use Dynamic IP Address)"},
      {"USE_STATIC_IP", " (IP address : 10.0.0.7)"},
      {"USE_CABLE_MODEM", " (Cable Modem user)"},
      {"USE_KT_ADSL", " (ADSL user)"},
      {"USE_HANARO_IN_MODEM", " (ADSL user)"},
      {"USE_HANARO_USB_MODEM", " (ADSL user)"},
      {"USE_HANARO_OUT_PPP_MODEM", " (ADSL user)"},
      {"USE_HANARO_OUT_RAS_MODEM", " (ADSL user)"},
      {"USE_SOMETHING_ELSE", ""},
      {"use_dhcp", ""},
  };
  for (const auto& [kind, suffix] : cases) {
    EXPECT_EQ(engine::CaptionSuffix(Location(1, "x", "n", kind)), suffix) << kind;
  }
}

TEST(BuildLocationTree, GroupsLocationsUnderOneNodePerAdapter) {
  const store::LocationTable table = {
      Location(3, "Office", "El90x1", "USE_STATIC_IP"),
      Location(1, "Hotel", "E100B1", "USE_KT_ADSL"),
      Location(7, "Home", "EL90X1", "USE_DHCP"),
      Location(9, "Old card", "Removed", "USE_DHCP"),
  };
  store::ActiveLocationTable active = {{0, "el90x1", 2, 7}, {1, "E100B1", -1, -1}};
  const std::vector<TreeNode> nodes = engine::BuildLocationTree(table, active);
  ASSERT_EQ(nodes.size(), 8u);
  EXPECT_EQ(nodes[0].key, "R_");
  EXPECT_EQ(nodes[0].text, " Adapter");
  EXPECT_EQ(nodes[0].image, 1);
  // The adapter's number is the index of the first location naming it.
  EXPECT_EQ(nodes[1].key, "N_El90x1");
  EXPECT_EQ(nodes[1].text, "[0] Card El90x1");
  EXPECT_EQ(nodes[1].image, 2);
  EXPECT_EQ(nodes[1].parent, "R_");
  EXPECT_EQ(nodes[2].key, "S_3");
  EXPECT_EQ(nodes[2].text, "Office (IP address : 10.0.0.7)");
  EXPECT_EQ(nodes[2].image, 4);
  EXPECT_EQ(nodes[3].text, "[1] Card E100B1");
  EXPECT_EQ(nodes[4].text, "Hotel (ADSL user)");
  EXPECT_EQ(nodes[4].parent, "N_E100B1");
  // A second spelling of the same adapter joins the first node; the active one shows image 5.
  EXPECT_EQ(nodes[5].key, "S_7");
  EXPECT_EQ(nodes[5].parent, "N_El90x1");
  EXPECT_EQ(nodes[5].image, 5);
  // A location of an adapter that is gone is still listed, inactive.
  EXPECT_EQ(nodes[6].text, "[3] Card Removed");
  EXPECT_EQ(nodes[7].image, 4);
}

TEST(BuildLocationTree, AnEmptyListHasOnlyTheRoot) {
  EXPECT_EQ(engine::BuildLocationTree({}, {}).size(), 1u);
}

TEST(LocationIdFromKey, AcceptsOnlyLocationNodes) {
  int16_t id = 0;
  EXPECT_TRUE(engine::LocationIdFromKey("S_12", &id));
  EXPECT_EQ(id, 12);
  EXPECT_FALSE(engine::LocationIdFromKey("N_12", &id));
  EXPECT_FALSE(engine::LocationIdFromKey("R_", &id));
  EXPECT_FALSE(engine::LocationIdFromKey("S_", &id));
  EXPECT_FALSE(engine::LocationIdFromKey("S_x", &id));
}

}  // namespace
}  // namespace netvane::testing
