// Shared pieces of the widget tests: a window with scripted prompts, images on disk, and real
// mouse gestures on the entry list.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "OperaImageBuilder.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/frmMain.h"
#include "reader/EntryLine.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"

namespace brindle::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brindle-app-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The window as the user meets it: built by the application object, shown offscreen.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A machine without optical drives or an ASPI library, whatever this one has.
    application = std::make_unique<app::Application>(
        prompts, std::make_unique<FakeOs>(),
        [](platform::Os& os, auto) { return std::make_unique<transport::clsSPTI>(os); }, nullptr);
    form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
  }
  void TearDown() override { application.reset(); }

  app::frmMain& form() { return application->window(); }

  // Writes image under name in the test's folder and returns its path.
  std::string writeImage(const OperaImage& image, const std::string& name = "disc.iso") {
    const std::string path = folder.file(name);
    EXPECT_TRUE(image.writeTo(path));
    return path;
  }

  // Opens path through the open button, answering the file dialog with it.
  void openImage(const std::string& path) {
    prompts.openAnswers.push_back(path);
    QTest::mouseClick(form().cmdOpen, Qt::LeftButton);
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    for (int i = 0; i < application->window().fileCount(); ++i) {
      result.push_back(application->window().fileLine(i));
    }
    return result;
  }

  int rowOf(const std::string& name) const {
    for (int i = 0; i < application->window().fileCount(); ++i) {
      if (reader::EntryName(application->window().fileLine(i)) == name) return i;
    }
    return -1;
  }

  // A click and then a double click on the row's centre, as a user's double click arrives.
  void doubleClickRow(int row) {
    QListWidget* list = form().lstFiles;
    QListWidgetItem* item = list->item(row);
    ASSERT_NE(item, nullptr);
    list->scrollToItem(item);
    const QPoint centre = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
  }

  void clickRow(int row) {
    QListWidget* list = form().lstFiles;
    QListWidgetItem* item = list->item(row);
    ASSERT_NE(item, nullptr);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
  }

  ScriptedPrompts prompts;
  std::unique_ptr<app::Application> application;
  TempFolder folder;
};

}  // namespace brindle::testing
