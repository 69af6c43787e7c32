// The double click on the entry list and the extract-all button, through real widgets.
#include <QEvent>
#include <QListWidget>
#include <QPushButton>

#include "WindowTestSupport.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;

const std::vector<std::uint8_t> kReadme = PatternBytes("readme", 5000);

OperaImage Tree() {
  return OperaImageBuilder()
      .root({OperaEntry::File("README.TXT", kReadme),
             OperaEntry::Dir("Art", {OperaEntry::File("cover.bmp", 3000),
                                     OperaEntry::Dir("Deeper", {OperaEntry::File("x", 1)})}),
             OperaEntry::File("empty", 0)})
      .build();
}

// Writes what happens to a control's enabled state into the prompts' log, in order with the
// dialogs and the beep, and lets a test look at the world at that moment.
class EnabledWatcher : public QObject {
 public:
  EnabledWatcher(QWidget* widget, ScriptedPrompts& prompts, std::function<void()> onChange = {})
      : widget_(widget), prompts_(prompts), onChange_(std::move(onChange)) {
    widget->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == widget_ && event->type() == QEvent::EnabledChange) {
      prompts_.log.push_back(widget_->objectName().toStdString() +
                             (widget_->isEnabled() ? " on" : " off"));
      if (onChange_) onChange_();
    }
    return false;
  }

 private:
  QWidget* widget_;
  ScriptedPrompts& prompts_;
  std::function<void()> onChange_;
};

class ListActionsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    openImage(writeImage(Tree()));
    ASSERT_EQ(form().fileCount(), 3);
    prompts.log.clear();
  }

  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const std::string& line : lines()) result.push_back(reader::EntryName(line));
    return result;
  }
};

TEST_F(ListActionsTest, DoubleClicksMoveThroughTheDirectories) {
  doubleClickRow(rowOf("Art"));
  EXPECT_THAT(names(), ElementsAre("/", "..", "cover.bmp", "Deeper"));
  EXPECT_EQ(form().historyCount(), 2);

  doubleClickRow(rowOf("Deeper"));
  EXPECT_THAT(names(), ElementsAre("/", "..", "x"));
  EXPECT_EQ(form().historyCount(), 3);

  doubleClickRow(rowOf(".."));
  EXPECT_THAT(names(), ElementsAre("/", "..", "cover.bmp", "Deeper"));
  EXPECT_EQ(form().historyCount(), 2);

  doubleClickRow(rowOf("Deeper"));
  doubleClickRow(rowOf("/"));
  EXPECT_THAT(names(), ElementsAre("README.TXT", "Art", "empty"));
  EXPECT_EQ(form().historyCount(), 1);
  EXPECT_TRUE(prompts.saveRequests.empty());
  EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(ListActionsTest, DoubleClickOnAFileSavesItWithTheControlsOffDuringTheCopy) {
  const std::string target = folder.file("saved.txt");
  std::vector<std::uintmax_t> sizeWhenReenabled;
  EnabledWatcher open(form().cmdOpen, prompts, [&] {
    if (form().cmdOpen->isEnabled())
      sizeWhenReenabled.push_back(std::filesystem::file_size(target));
  });
  EnabledWatcher list(form().lstFiles, prompts);
  prompts.saveAnswers.push_back(target);

  doubleClickRow(rowOf("README.TXT"));

  ASSERT_EQ(prompts.saveRequests.size(), 1u);
  EXPECT_EQ(prompts.saveRequests[0].title, "Save file as...");
  EXPECT_EQ(prompts.saveRequests[0].filterDescription, "All files (*.*)");
  EXPECT_EQ(prompts.saveRequests[0].filterPattern, "*.*");
  EXPECT_EQ(prompts.saveRequests[0].initialName, "README.TXT");
  EXPECT_THAT(prompts.log, ElementsAre("save", "cmdOpen off", "lstFiles off", "cmdOpen on",
                                       "lstFiles on", "beep"));
  // The copy had finished by the time the controls came back.
  EXPECT_THAT(sizeWhenReenabled, ElementsAre(kReadme.size()));
  EXPECT_EQ(ReadFileBytes(target), kReadme);
  EXPECT_TRUE(form().cmdOpen->isEnabled());
  EXPECT_TRUE(form().lstFiles->isEnabled());
  EXPECT_EQ(form().fileCount(), 3);
}

TEST_F(ListActionsTest, CancellingTheSaveDialogCopiesNothingAndDoesNotBeep) {
  doubleClickRow(rowOf("empty"));
  EXPECT_THAT(prompts.log, ElementsAre("save"));
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()) ||
              !std::filesystem::exists(folder.file("empty")));
}

TEST_F(ListActionsTest, ASaveThatCannotBeWrittenIsAnErrorNotABeep) {
  prompts.saveAnswers.push_back(folder.file("no/such/folder/file"));
  doubleClickRow(rowOf("README.TXT"));
  EXPECT_EQ(prompts.errors.size(), 1u);
  EXPECT_EQ(prompts.beeps, 0);
  EXPECT_TRUE(form().cmdOpen->isEnabled());
  EXPECT_TRUE(form().lstFiles->isEnabled());
}

TEST_F(ListActionsTest, ExtractAllWritesEveryListedEntryIntoTheChosenFolder) {
  doubleClickRow(rowOf("Art"));
  const std::filesystem::path out = folder.path() / "out";
  std::filesystem::create_directory(out);
  prompts.saveAnswers.push_back((out / "Filename will be ignored").string());

  QTest::mouseClick(form().Command2, Qt::LeftButton);

  ASSERT_EQ(prompts.saveRequests.size(), 1u);
  EXPECT_EQ(prompts.saveRequests[0].title, "Extract files to...");
  EXPECT_EQ(prompts.saveRequests[0].initialName, "Filename will be ignored");
  EXPECT_EQ(prompts.beeps, 1);
  EXPECT_TRUE(prompts.errors.empty());
  EXPECT_EQ(ReadFileBytes((out / "cover.bmp").string()), PatternBytes("cover.bmp", 3000));
  EXPECT_EQ(std::filesystem::file_size(out / "Deeper"), 2048u);  // a directory, as a file
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 2);
  EXPECT_EQ(form().historyCount(), 2);  // the listing is left as it was
  EXPECT_EQ(form().fileCount(), 4);
}

TEST_F(ListActionsTest, ExtractAllWithAnotherNameThanThePlaceholderCopiesNothing) {
  prompts.saveAnswers.push_back(folder.file("myname"));
  QTest::mouseClick(form().Command2, Qt::LeftButton);
  EXPECT_EQ(prompts.errors.size(), 1u);
  EXPECT_EQ(prompts.beeps, 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);  // image
}

}  // namespace
}  // namespace brindle::testing
