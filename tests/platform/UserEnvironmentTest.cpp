// Where the user's things live when the environment says little.
#include "platform/UserEnvironment.h"

#include <gtest/gtest.h>

using lumivex::platform::HomeFolder;

// An unset or empty HOME gave "/" as the home: settings at /.config, pictures at //Desktop.
TEST(HomeFolder, ComesFromThePasswordDatabaseOnlyWhenHomeIsUnsetOrEmpty) {
  EXPECT_EQ(HomeFolder(QString(), "/home/anna"), "/home/anna");
  EXPECT_EQ(HomeFolder("", "/home/anna"), "/home/anna");
  EXPECT_EQ(HomeFolder("/srv/anna", "/home/anna"), "/srv/anna");
}
