// brindle-cli mount through the kernel: the mounted tree against the builder's files, parallel
// readers, every change refused, and unmounting by signal or by fusermount3 -u.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "OperaImageBuilder.h"
#include "mount/Messages.h"
#include "output/Names.h"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  const std::string text = ReadText(path);
  return {text.begin(), text.end()};
}

bool Mounted(const fs::path& point) {
  std::ifstream mounts("/proc/self/mounts");
  for (std::string device, where, rest; mounts >> device >> where && std::getline(mounts, rest);) {
    if (where == point.string()) return true;
  }
  return false;
}

// Waits until condition holds, up to ten seconds.
template <typename Condition>
bool Eventually(Condition condition) {
  for (auto until = std::chrono::steady_clock::now() + 10s;
       std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(20ms)) {
    if (condition()) return true;
  }
  return condition();
}

class Mount : public ::testing::Test {
 protected:
  void SetUp() override {
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) {
      GTEST_SKIP() << "/dev/fuse cannot be opened here (" << std::strerror(errno)
                   << "): no FUSE mount is possible, so the real mount is not tested";
    }
    ::close(fuse);
    if (geteuid() != 0 && !fs::exists("/usr/bin/fusermount3")) {
      GTEST_SKIP() << "not root and no fusermount3: this user cannot mount";
    }
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("brindle-mount-" + std::to_string(random()));
    point_ = dir_ / "mnt";
    fs::create_directories(point_);
  }
  void TearDown() override {
    if (dir_.empty()) return;
    if (Mounted(point_)) std::system(("fusermount3 -u '" + point_.string() + "'").c_str());
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    fs::remove_all(dir_);
  }

  // Starts brindle-cli mount -f on the image in the background; false when it did not mount.
  bool mountForeground(const fs::path& image) {
    child_ = fork();
    if (child_ == 0) {
      const int err = ::open((dir_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err, 2);
      execl(BRINDLE_CLI_PATH, BRINDLE_CLI_PATH, "mount", "-f", "--image", image.c_str(),
            point_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return Eventually([&] { return Mounted(point_) || waitpid(child_, nullptr, WNOHANG) != 0; }) &&
           Mounted(point_);
  }

  std::string said() const { return ReadText(dir_ / "stderr"); }

  fs::path dir_;
  fs::path point_;
  pid_t child_ = -1;
};

TEST_F(Mount, ServesTheBuildersFilesToParallelReadersAndUnmountsOnSigterm) {
  std::vector<OperaEntry> large;
  for (int i = 0; i < 6; ++i) {
    large.push_back(OperaEntry::File("part" + std::to_string(i) + ".bin", 3'000'000 + i * 4097));
  }
  large.back().withCopies(2);
  const OperaImage image =
      OperaImageBuilder()
          .root({
              OperaEntry::File("Read Me.txt", 149),
              OperaEntry::File("empty", std::size_t{0}),
              OperaEntry::File("Gar\xE7on", 7000).withType("TEXT"),
              OperaEntry::Dir("Large", std::move(large)),
              OperaEntry::Dir("Art", {OperaEntry::Dir("Icons", {OperaEntry::File("a", 2049)})}),
          })
          .build();
  const fs::path file = dir_ / "disc.iso";
  ASSERT_TRUE(image.writeTo(file.string()));
  ASSERT_TRUE(mountForeground(file)) << said();

  // Every path and every byte as built.
  std::set<std::string> expected;
  for (const auto& [path, bytes] : image.contents) {
    if (!path.empty()) expected.insert(output::Latin1ToUtf8(path));
  }
  std::set<std::string> shown;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(point_)) {
    const std::string path = fs::relative(entry.path(), point_).string();
    shown.insert(path);
    const std::string latin1 = *output::Utf8ToLatin1(path);
    ASSERT_TRUE(image.contents.count(latin1)) << path;
    EXPECT_EQ(entry.is_directory(), image.directories.count(latin1) != 0) << path;
    if (!entry.is_directory()) {
      EXPECT_EQ(ReadBytes(entry.path()), image.contents.at(latin1)) << path;
    }
  }
  EXPECT_EQ(shown, expected);
  // And the same tree as extracting the whole disc gives.
  const fs::path extracted = dir_ / "extracted";
  const std::string cli = BRINDLE_CLI_PATH;
  ASSERT_EQ(std::system((cli + " extract -r --image '" + file.string() + "' '" +
                         extracted.string() + "' 2>/dev/null")
                            .c_str()),
            0);
  EXPECT_EQ(std::system(("diff -r '" + extracted.string() + "' '" + point_.string() + "'").c_str()),
            0);

  std::array<char, 16> type{};
  EXPECT_EQ(
      getxattr((point_ / "Gar\xC3\xA7on").c_str(), "user.opera.type", type.data(), type.size()), 4);
  EXPECT_STREQ(type.data(), "TEXT");

  // Every change is refused as a read-only file system refuses it.
  const fs::path readMe = point_ / "Read Me.txt";
  errno = 0;
  EXPECT_EQ(::open(readMe.c_str(), O_WRONLY), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(::open((point_ / "new").c_str(), O_WRONLY | O_CREAT, 0644), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(::mkdir((point_ / "dir").c_str(), 0755), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(::rename(readMe.c_str(), (point_ / "moved").c_str()), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(::unlink(readMe.c_str()), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(::chmod(readMe.c_str(), 0777), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(::setxattr(readMe.c_str(), "user.x", "1", 1, 0), -1);
  EXPECT_EQ(errno, EROFS);

  // Eight readers at once, two to a file, each in its own odd-sized pieces from its own offsets.
  std::vector<std::thread> readers;
  std::array<bool, 8> exact{};
  for (int r = 0; r < 8; ++r) {
    readers.emplace_back([&, r] {
      const std::string name = "Large/part" + std::to_string(r % 4 + (r >= 4 ? 2 : 0)) + ".bin";
      const std::vector<std::uint8_t>& want = image.contents.at(name);
      const int fd = ::open((point_ / name).c_str(), O_RDONLY);
      if (fd < 0) return;
      std::vector<std::uint8_t> got(want.size());
      const std::size_t piece = 65536 + 777 * std::size_t(r);
      // Back to front, so that two readers of one file meet in the middle.
      for (std::size_t end = want.size(); end > 0;) {
        const std::size_t start = end > piece ? end - piece : 0;
        if (pread(fd, got.data() + start, end - start, off_t(start)) != ssize_t(end - start)) {
          break;
        }
        end = start;
      }
      ::close(fd);
      exact[std::size_t(r)] = got == want;
    });
  }
  for (std::thread& reader : readers) reader.join();
  for (int r = 0; r < 8; ++r) EXPECT_TRUE(exact[std::size_t(r)]) << "reader " << r;

  // SIGTERM: the mount goes away and the program ends as after any clean unmount.
  ASSERT_EQ(kill(child_, SIGTERM), 0);
  int status = -1;
  ASSERT_TRUE(Eventually([&] { return waitpid(child_, &status, WNOHANG) == child_; }));
  child_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << said();
  EXPECT_FALSE(Mounted(point_));
  EXPECT_EQ(said(), "");
}

TEST_F(Mount, DetachesUntilFusermountUnmountsAndSaysWhyItCannotMount) {
  const OperaImage image = OperaImageBuilder().root({OperaEntry::File("a", 5000)}).build();
  const fs::path file = dir_ / "disc.iso";
  ASSERT_TRUE(image.writeTo(file.string()));
  const std::string cli = BRINDLE_CLI_PATH;

  // Without -f the command returns once the mount is in place.
  const std::string mount =
      cli + " mount --image '" + file.string() + "' '" + point_.string() + "'";
  ASSERT_EQ(std::system(mount.c_str()), 0);
  ASSERT_TRUE(Mounted(point_));
  EXPECT_EQ(ReadBytes(point_ / "a"), image.contents.at("a"));
  // Mounts never stack, and never hide files: both refused before anything is mounted.
  const std::string again = mount + " 2>'" + (dir_ / "stderr").string() + "'";
  EXPECT_EQ(WEXITSTATUS(std::system(again.c_str())), 1);
  EXPECT_NE(said().find("mounted there already"), std::string::npos) << said();
  ASSERT_EQ(std::system(("fusermount3 -u '" + point_.string() + "'").c_str()), 0);
  EXPECT_FALSE(Mounted(point_));
  std::ofstream((point_ / "kept").string()) << "mine";
  EXPECT_EQ(WEXITSTATUS(std::system(again.c_str())), 1);
  EXPECT_NE(said().find("not empty"), std::string::npos) << said();
  EXPECT_FALSE(Mounted(point_));
  EXPECT_EQ(ReadText(point_ / "kept"), "mine");
  fs::remove(point_ / "kept");
  EXPECT_FALSE(Mounted(point_));

  // Not a folder to mount on; not an Opera volume.
  const std::string missing = cli + " mount -f --image '" + file.string() + "' '" +
                              (dir_ / "nowhere").string() + "' 2>'" + (dir_ / "stderr").string() +
                              "'";
  EXPECT_EQ(WEXITSTATUS(std::system(missing.c_str())), 1);
  EXPECT_NE(said().find("Could not mount on"), std::string::npos) << said();
  std::ofstream((dir_ / "zeros.iso").string()) << std::string(8192, '\0');
  const std::string notOpera = cli + " mount -f --image '" + (dir_ / "zeros.iso").string() + "' '" +
                               point_.string() + "' 2>'" + (dir_ / "stderr").string() + "'";
  EXPECT_EQ(WEXITSTATUS(std::system(notOpera.c_str())), 1);
  EXPECT_NE(said().find("Opera"), std::string::npos) << said();
  EXPECT_FALSE(Mounted(point_));
}

// Reads of a plain image go from the image file's pages to the kernel without passing through
// the program; an image that loses its tail while mounted must still read as damaged where its
// bytes stop, and say so once, as any unreadable block does. The bytes before read exact.
TEST_F(Mount, AnImageThatShrinksWhileMountedReadsAsDamagedWhereItsBytesStop) {
  const OperaImage image = OperaImageBuilder().root({OperaEntry::File("big", 600000)}).build();
  const fs::path file = dir_ / "disc.iso";
  ASSERT_TRUE(image.writeTo(file.string()));
  ASSERT_TRUE(mountForeground(file)) << said();
  const std::uint32_t first = image.placements.at("big").firstBlock;
  const std::uint32_t kept = 100;  // blocks of the file left in the image, a whole page's worth
  fs::resize_file(file, std::uintmax_t(first + kept) * 2048);

  const int fd = ::open((point_ / "big").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  // One page per request, in order, so the first request to fail is the one holding block kept.
  ASSERT_EQ(posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM), 0);
  std::vector<std::uint8_t> got(600000);
  std::size_t done = 0;
  ssize_t last = 0;
  while (done < got.size() && (last = ::read(fd, got.data() + done, 4096)) > 0) done += last;
  const int error = errno;
  ::close(fd);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(error, EIO);
  EXPECT_EQ(done, kept * 2048u);
  const std::vector<std::uint8_t>& want = image.contents.at("big");
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + std::ptrdiff_t(done), want.begin()));
  EXPECT_EQ(
      said(),
      mount::DamagedFileText("big", kept, first + kept, media::BlockStatus::Unreadable) + "\n");
}

}  // namespace
}  // namespace brindle::testing
