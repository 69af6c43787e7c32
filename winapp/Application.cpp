#include "winapp/Application.h"

namespace brindle::winapp {

Application::Application(Prompts& prompts)
    : Application(prompts, std::make_unique<reader::WindowDrives>()) {}

Application::Application(Prompts& prompts, std::unique_ptr<platform::Os> os, MakeTransport makeSpti,
                         MakeTransport makeAspi)
    : Application(prompts, std::make_unique<reader::WindowDrives>(
                               std::move(os), std::move(makeSpti), std::move(makeAspi))) {}

Application::Application(Prompts& prompts, std::unique_ptr<reader::WindowDrives> drives)
    : drives_(std::move(drives)) {
  form_ = std::make_unique<frmMain>(
      prompts, frmMain::DriveSide{
                   [this] { drives_->SelectTransport(*form_, [this] { form_->MessagePass(); }); },
                   [this](std::int32_t lba, std::int16_t count) {
                     return drives_->ReadSectors(
                         lba, count, form_->driveIndex(),
                         [this](const std::string& message) { form_->showError(message); });
                   },
               });
}

Application::~Application() {
  form_.reset();
  drives_.reset();
}

int Application::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) form_->HandleMessage(message);
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

}  // namespace brindle::winapp
