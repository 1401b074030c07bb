#include "ui/fDialogSupport.h"

#include <gtest/gtest.h>

namespace skimbrook {
namespace {

TEST(EditedBytes, KeepsTheStoredBytesWhileTheTextIsUntouchedAndStoresTypedTextAsUtf8) {
  EXPECT_EQ(EditedBytes(QStringLiteral("caf\u00E9"), "caf\xE9"), "caf\xE9");
  EXPECT_EQ(EditedBytes(QStringLiteral("caf\u00E9s"), "caf\xE9"), "caf\xC3\xA9s");
  EXPECT_EQ(EditedBytes(QString(), "secret"), "");
}

}  // namespace
}  // namespace skimbrook
