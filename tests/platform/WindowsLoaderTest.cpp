// Where the Windows backend looks for a library given by bare name: the program's folder and
// the system folder, never the current folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Os.h"

namespace brindle::platform {
namespace {

namespace fs = std::filesystem;

fs::path ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, length)).parent_path();
}

// A copy of the test library under name in folder, removed again at the end.
class PlacedLibrary {
 public:
  PlacedLibrary(const fs::path& module, const fs::path& folder, const std::string& name)
      : path_(folder / name) {
    fs::copy_file(module, path_, fs::copy_options::overwrite_existing);
  }
  ~PlacedLibrary() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }

 private:
  fs::path path_;
};

TEST(WindowsLoader, IgnoresALibraryPlantedInTheCurrentFolderButFindsOneBesideTheProgram) {
  // Taken whole before the current folder (and with it the current drive) changes.
  const fs::path module = fs::absolute(BRINDLE_TEST_MODULE);
  const fs::path planted = fs::temp_directory_path() / "brindle-planted";
  fs::create_directories(planted);
  const fs::path before = fs::current_path();
  fs::current_path(planted);
  {
    const PlacedLibrary inCurrentFolder(module, planted, "BRINDLEPLANT.DLL");
    const PlacedLibrary besideProgram(module, ProgramFolder(), "BRINDLEBESIDE.DLL");
    auto os = MakeSystemOs();

    EXPECT_EQ(os->LoadLibraryA("BRINDLEPLANT.DLL"), 0);
    EXPECT_NE(os->GetLastError(), 0u);

    const ModuleHandle beside = os->LoadLibraryA("BRINDLEBESIDE.DLL");
    ASSERT_NE(beside, 0);
    const auto answer =
        reinterpret_cast<int (*)()>(os->GetProcAddress(beside, "BrindleTestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 4242);
    EXPECT_TRUE(os->FreeLibrary(beside));

    // A path names exactly one file, wherever it is.
    const ModuleHandle byPath = os->LoadLibraryA((planted / "BRINDLEPLANT.DLL").string());
    EXPECT_NE(byPath, 0);
    if (byPath != 0) os->FreeLibrary(byPath);
  }
  fs::current_path(before);
  fs::remove_all(planted);
}

}  // namespace
}  // namespace brindle::platform
