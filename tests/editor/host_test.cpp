#include "editor/host.h"

#include <gtest/gtest.h>

#include "editor/document_commands.h"

namespace tolmar {
namespace {

TEST(HostFileDialog, ASavedNameWithoutAnExtensionTakesTheDialogsOwn) {
  FileDialogSpec wav;
  wav.defaultExt = "wav";
  EXPECT_EQ(withDefaultExt(wav, "/music/side b"), "/music/side b.wav");
  EXPECT_EQ(withDefaultExt(wav, "side"), "side.wav");
  // A dot in the folder is not an extension of the name.
  EXPECT_EQ(withDefaultExt(wav, "/music/v1.2/side"), "/music/v1.2/side.wav");
  EXPECT_EQ(withDefaultExt(wav, "/music/side.b"), "/music/side.b");
  EXPECT_EQ(withDefaultExt(wav, "/music/side.WAV"), "/music/side.WAV");
  EXPECT_EQ(withDefaultExt(wav, "/music/"), "/music/");
  FileDialogSpec none;
  EXPECT_EQ(withDefaultExt(none, "/music/side"), "/music/side");
}

TEST(HostDialogModel, ARequestHoldsItsModelsOwnPointerType) {
  SetInsertionLengthModel insertion;
  DialogRequest request{kSetInsertionLengthDialogId, &insertion};
  EXPECT_TRUE(hasModel(request.model));
  EXPECT_EQ(std::get<SetInsertionLengthModel*>(request.model), &insertion);
  EXPECT_EQ(std::get_if<AddSurroundingSilenceModel*>(&request.model), nullptr);
  DialogRequest empty{kSetInsertionLengthDialogId, {}};
  EXPECT_FALSE(hasModel(empty.model));
  DialogRequest null{kSetInsertionLengthDialogId, static_cast<SetInsertionLengthModel*>(nullptr)};
  EXPECT_FALSE(hasModel(null.model));
}

}  // namespace
}  // namespace tolmar
