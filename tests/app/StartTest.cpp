// `brindle FILE`: the image opened at start as if chosen with "...", and the arguments that ask
// for it.
#include <QDir>
#include <QLineEdit>
#include <QListWidget>

#include "WindowTestSupport.h"
#include "app/Start.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using Action = app::StartRequest::Action;

class StartTest : public WindowTest {
 protected:
  // The window as main() builds it: its prompts answer the start file's dialog themselves.
  void SetUp() override {
    application = std::make_unique<app::Application>(
        answering, std::make_unique<FakeOs>(),
        [](platform::Os& os, auto) { return std::make_unique<transport::clsSPTI>(os); }, nullptr);
    form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
  }

  app::AnsweringPrompts answering{prompts};
};

TEST_F(StartTest, TheFileIsOpenedAsTheOpenButtonWouldOpenIt) {
  const std::string image =
      writeImage(OperaImageBuilder()
                     .root({OperaEntry::Dir("Art", {OperaEntry::File("inner", 3)}),
                            OperaEntry::File("LAUNCHME", 1234), OperaEntry::File("last", 0)})
                     .volumeBlocksField(300000)
                     .build());
  // Given as the shell passes it, relative to the working folder.
  const QString workingFolder = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.path().string())));
  app::OpenAtStart(form(), answering, QStringLiteral("disc.iso"));
  QDir::setCurrent(workingFolder);

  EXPECT_TRUE(prompts.openRequests.empty());  // no dialog was shown
  EXPECT_TRUE(prompts.errors.empty());
  ASSERT_EQ(form().lstFiles->count(), 3);
  EXPECT_EQ(reader::EntryName(form().fileLine(0)), "Art");
  EXPECT_EQ(form().lstFiles->item(1)->text().left(8), QStringLiteral("LAUNCHME"));
  EXPECT_EQ(form().txtFile->text().toStdString(), image);
  const auto startLines = lines();
  const std::string startSize = form().discSize();
  const int startHistory = form().historyCount();

  // The same image through the button: the dialog is shown this time, and the window ends up
  // the same.
  openImage(image);
  ASSERT_EQ(prompts.openRequests.size(), 1u);
  EXPECT_EQ(lines(), startLines);
  EXPECT_EQ(form().discSize(), startSize);
  EXPECT_EQ(form().historyCount(), startHistory);
  EXPECT_EQ(form().txtFile->text().toStdString(), image);
}

TEST_F(StartTest, AFileThatCannotBeReadBringsTheOpenButtonsMessage) {
  app::OpenAtStart(form(), answering, QString::fromStdString(folder.file("absent.iso")));
  EXPECT_TRUE(prompts.openRequests.empty());
  EXPECT_THAT(prompts.errors, ElementsAre("The given file could not be opened for reading."));
  EXPECT_EQ(form().imagePath(), "[no file selected]");
  EXPECT_EQ(form().fileCount(), 0);
}

TEST(StartArgumentsTest, FileHelpVersionAndUsageErrors) {
  const auto parse = [](QStringList arguments) { return app::ParseStartArguments(arguments); };
  EXPECT_EQ(parse({}).action, Action::Window);
  EXPECT_FALSE(parse({}).file.has_value());
  EXPECT_EQ(parse({"disc.iso"}).file, QStringLiteral("disc.iso"));
  EXPECT_EQ(parse({"--", "-odd.iso"}).file, QStringLiteral("-odd.iso"));
  // Before the window system takes its options out, they must not hide --version or --help.
  EXPECT_EQ(parse({"-platform", "offscreen", "--version"}).action, Action::Version);
  EXPECT_EQ(parse({"a.iso", "b.iso", "-h"}).action, Action::Help);
  EXPECT_EQ(parse({"a.iso", "b.iso"}).action, Action::UsageError);
  EXPECT_EQ(parse({"--bogus"}).action, Action::UsageError);
  EXPECT_EQ(parse({"--", "--version"}).action, Action::Window);
}

}  // namespace
}  // namespace brindle::testing
