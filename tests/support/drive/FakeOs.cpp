#include "tests/support/drive/FakeOs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <span>
#include <stdexcept>

namespace brindle::testing {
namespace {

using platform::Handle;

char Upper(char letter) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

// "D:" or "D:\" -> 'D'; 0 for anything else.
char LetterOfRoot(std::string_view root) {
  if (root.size() == 3 && root[2] == '\\') root.remove_suffix(1);
  if (root.size() != 2 || root[1] != ':' || !std::isalpha(static_cast<unsigned char>(root[0]))) {
    return 0;
  }
  return Upper(root[0]);
}

std::uint64_t Bits(const void* pointer) {
  return reinterpret_cast<std::uintptr_t>(pointer);
}

}  // namespace

FakeOs::FakeOs() : system_(platform::MakeSystemOs()) {}
FakeOs::~FakeOs() = default;

EmulatedDrive& FakeOs::addDrive(char letter, std::vector<std::uint8_t> image) {
  Letter& entry = at(letter);
  entry.type = platform::kDriveCdrom;
  entry.drive = std::make_unique<EmulatedDrive>(std::move(image));
  return *entry.drive;
}

EmulatedDrive& FakeOs::drive(char letter) {
  Letter* entry = find(letter);
  if (entry == nullptr || !entry->drive) throw std::logic_error("no emulated drive at that letter");
  return *entry->drive;
}

void FakeOs::setDriveType(char letter, std::uint32_t type) {
  at(letter).type = type;
}
void FakeOs::setOpenFails(char letter, bool fails) {
  at(letter).openFails = fails;
}
void FakeOs::setVersion(platform::OsVersion version) {
  version_ = version;
}
void FakeOs::setVersionFails(bool fails) {
  versionFails_ = fails;
}
void FakeOs::setAddress(char letter, std::uint8_t port, std::uint8_t path, std::uint8_t target,
                        std::uint8_t lun) {
  at(letter).address =
      platform::ScsiAddress{sizeof(platform::ScsiAddress), port, path, target, lun};
}
void FakeOs::setAddressFails(char letter, bool fails) {
  at(letter).addressFails = fails;
}
void FakeOs::scriptWaitResult(std::optional<std::uint32_t> result) {
  waitResult_ = result;
}

std::vector<FakeOs::Call> FakeOs::callsTo(std::string_view function) const {
  std::vector<Call> found;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
               [&](const Call& call) { return call.function == function; });
  return found;
}

std::vector<std::uint32_t> FakeOs::sleeps() const {
  std::vector<std::uint32_t> durations;
  for (const Call& call : callsTo("Sleep"))
    durations.push_back(static_cast<std::uint32_t>(call.args[0]));
  return durations;
}

void FakeOs::clearCalls() {
  calls_.clear();
  passThroughs_.clear();
}

void FakeOs::record(const char* function, const std::string& text,
                    std::initializer_list<std::uint64_t> args) {
  if (!recording_) return;
  calls_.push_back(Call{function, text, args});
}

FakeOs::Letter* FakeOs::find(char letter) {
  const auto found = letters_.find(Upper(letter));
  return found == letters_.end() ? nullptr : &found->second;
}

FakeOs::Letter& FakeOs::at(char letter) {
  const char upper = Upper(letter);
  if (upper < 'A' || upper > 'Z') throw std::logic_error("drive letters run from A to Z");
  return letters_[upper];
}

bool FakeOs::fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

std::uint32_t FakeOs::GetDriveTypeA(const std::string& root) {
  record("GetDriveTypeA", root, {});
  const char letter = LetterOfRoot(root);
  Letter* entry = letter == 0 ? nullptr : find(letter);
  return entry == nullptr ? platform::kDriveNoRootDir : entry->type;
}

Handle FakeOs::CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t shareMode,
                           std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  record("CreateFileA", path, {access, shareMode, creationDisposition, flagsAndAttributes});
  constexpr std::string_view kPrefix = "\\\\.\\";
  const std::string_view view(path);
  if (view.size() != kPrefix.size() + 2 || view.substr(0, kPrefix.size()) != kPrefix) {
    fail(kErrorFileNotFound);
    return platform::kInvalidHandle;
  }
  const char letter = LetterOfRoot(view.substr(kPrefix.size()));
  Letter* entry = letter == 0 ? nullptr : find(letter);
  if (entry == nullptr || entry->type != platform::kDriveCdrom || entry->openFails) {
    fail(kErrorFileNotFound);
    return platform::kInvalidHandle;
  }
  const Handle handle = nextDevice_++;
  openDevices_[handle] = letter;
  return handle;
}

bool FakeOs::DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                             std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                             std::uint32_t* bytesReturned) {
  record("DeviceIoControl", "",
         {static_cast<std::uint64_t>(device), controlCode, Bits(inBuffer), inSize, Bits(outBuffer),
          outSize});
  if (bytesReturned != nullptr) *bytesReturned = 0;
  const auto open = openDevices_.find(device);
  if (open == openDevices_.end()) return fail(kErrorInvalidHandle);
  Letter& letter = at(open->second);
  switch (controlCode) {
    case platform::kPassThroughDirectCode:
      return passThrough(letter, inBuffer, inSize, outBuffer, outSize, bytesReturned);
    case platform::kGetAddressCode:
      return address(letter, outBuffer, outSize, bytesReturned);
    default:
      return fail(kErrorInvalidFunction);
  }
}

bool FakeOs::passThrough(Letter& letter, void* inBuffer, std::uint32_t inSize, void* outBuffer,
                         std::uint32_t outSize, std::uint32_t* bytesReturned) {
  platform::ScsiPassThroughDirect request;
  if (inBuffer == nullptr || outBuffer == nullptr || inSize < sizeof request ||
      outSize < sizeof request) {
    return fail(kErrorInvalidParameter);
  }
  std::memcpy(&request, inBuffer, sizeof request);
  if (recording_) passThroughs_.push_back(request);
  // What the port driver refuses before the command goes out.
  if (request.Length != sizeof request || request.CdbLength == 0 ||
      request.CdbLength > platform::kCdbAreaSize ||
      (request.DataTransferLength > 0 && request.DataBuffer == nullptr) ||
      (request.SenseInfoLength > 0 &&
       (request.SenseInfoOffset < sizeof request ||
        std::uint64_t{request.SenseInfoOffset} + request.SenseInfoLength > outSize))) {
    return fail(kErrorInvalidParameter);
  }
  auto* data = static_cast<std::uint8_t*>(request.DataBuffer);
  const EmulatedDrive::Answer answer = letter.drive->execute(
      std::span<const std::uint8_t>(request.Cdb, request.CdbLength),
      request.DataIn == platform::kScsiDataIn,
      std::span<std::uint8_t>(data, data == nullptr ? 0 : request.DataTransferLength),
      request.TimeOutValue);
  if (answer.completion == EmulatedDrive::Completion::TimedOut) return fail(kErrorSemTimeout);
  if (answer.completion == EmulatedDrive::Completion::RequestFailed) return fail(kErrorIoDevice);

  if (outBuffer != inBuffer) std::memcpy(outBuffer, &request, sizeof request);
  auto* out = static_cast<std::uint8_t*>(outBuffer);
  platform::ScsiPassThroughDirect reply = request;
  reply.ScsiStatus = answer.status;
  reply.DataTransferLength = answer.transferred;
  if (answer.status != EmulatedDrive::kGood && request.SenseInfoLength > 0) {
    const std::size_t length = std::min<std::size_t>(request.SenseInfoLength, answer.sense.size());
    std::memcpy(out + request.SenseInfoOffset, answer.sense.data(), length);
    reply.SenseInfoLength = static_cast<std::uint8_t>(length);
  } else {
    reply.SenseInfoLength = 0;
  }
  std::memcpy(out, &reply, sizeof reply);
  if (bytesReturned != nullptr) *bytesReturned = outSize;
  return true;
}

bool FakeOs::address(Letter& letter, void* outBuffer, std::uint32_t outSize,
                     std::uint32_t* bytesReturned) {
  if (outBuffer == nullptr || outSize < sizeof(platform::ScsiAddress)) {
    return fail(kErrorInvalidParameter);
  }
  if (letter.addressFails) return fail(kErrorInvalidFunction);
  platform::ScsiAddress reply = letter.address;
  reply.Length = sizeof reply;
  std::memcpy(outBuffer, &reply, sizeof reply);
  if (bytesReturned != nullptr) *bytesReturned = sizeof reply;
  return true;
}

bool FakeOs::CloseHandle(Handle handle) {
  record("CloseHandle", "", {static_cast<std::uint64_t>(handle)});
  if (openDevices_.erase(handle) > 0) return true;
  if (system_->CloseHandle(handle)) return true;
  return fail(kErrorInvalidHandle);
}

bool FakeOs::GetVersionExA(platform::OsVersion& version) {
  record("GetVersionExA", "", {});
  if (versionFails_) return fail(kErrorInvalidParameter);
  version = version_;
  return true;
}

Handle FakeOs::CreateEventA(bool manualReset, bool initialState, const std::string& name) {
  record("CreateEventA", name, {manualReset, initialState});
  const Handle event = system_->CreateEventA(manualReset, initialState, name);
  if (event == platform::kInvalidHandle) lastError_ = system_->GetLastError();
  return event;
}

bool FakeOs::ResetEvent(Handle event) {
  record("ResetEvent", "", {static_cast<std::uint64_t>(event)});
  return system_->ResetEvent(event) || fail(system_->GetLastError());
}

std::uint32_t FakeOs::WaitForSingleObject(Handle handle, std::uint32_t milliseconds) {
  record("WaitForSingleObject", "", {static_cast<std::uint64_t>(handle), milliseconds});
  if (waitResult_) return *waitResult_;
  return system_->WaitForSingleObject(handle, milliseconds);
}

void FakeOs::Sleep(std::uint32_t milliseconds) {
  record("Sleep", "", {milliseconds});
}

platform::ModuleHandle FakeOs::LoadLibraryA(const std::string& name) {
  record("LoadLibraryA", name, {});
  const platform::ModuleHandle module = system_->LoadLibraryA(name);
  if (module == 0) lastError_ = system_->GetLastError();
  return module;
}

void* FakeOs::GetProcAddress(platform::ModuleHandle module, const std::string& name) {
  record("GetProcAddress", name, {static_cast<std::uint64_t>(module)});
  return system_->GetProcAddress(module, name);
}

bool FakeOs::FreeLibrary(platform::ModuleHandle module) {
  record("FreeLibrary", "", {static_cast<std::uint64_t>(module)});
  return system_->FreeLibrary(module);
}

void FakeOs::SetLastError(std::uint32_t code) {
  record("SetLastError", "", {code});
  lastError_ = code;
}

std::uint32_t FakeOs::GetLastError() {
  record("GetLastError", "", {});
  return lastError_;
}

}  // namespace brindle::testing
