// script_host: the Linux counterpart of velastra.exe.  It loads the Linux
// Controller.plug the way a Linux host does and runs the same scripts
// (script_host.h) on the recording window system, so that the Wine tests
// can compare the two platforms' answers line for line.
//
// Usage: script_host <path of Controller.plug>
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "script_host.h"
#include "window_system_model.h"

namespace {

using EntryPoint = std::int16_t (*)(std::uint32_t, std::uintptr_t);

constexpr int kEdits[] = {1000, 1001, 1013, 1015, 1016, 1017, 1018, 1019};
constexpr int kButtons[] = {1002, 1003, 1004, 1005, 1006, 1007, 1014, 1020, 1021, 1022};
constexpr std::uintptr_t kDebugWindow = 0x5150;

class PosixPlatform final : public script::Platform {
 public:
  explicit PosixPlatform(EntryPoint entry) : entry_(entry) {
    wsm::TheBehaviour().while_box_up = [this](const wsm::MessageBoxCall&) { RunReentry(); };
  }

  std::int16_t Call(std::uint32_t selector, std::uintptr_t parameter) override {
    return entry_(selector, parameter);
  }
  std::uintptr_t NewDebugWindow() override {
    wsm::TheBehaviour().visible_windows.insert(kDebugWindow);
    return kDebugWindow;
  }
  std::uint32_t NewMenu() override { return ++menus_; }
  std::vector<std::string> MenuItems(std::uint32_t menu) override {
    std::vector<std::string> items;
    for (const wsm::MenuAppend& item : wsm::TheLog().menus) {
      if (item.menu != menu) continue;
      items.push_back((item.flags & 0x800) != 0 ? "-" : std::to_string(item.id) + ":" + item.text);
    }
    return items;
  }
  void ArmDialog(const std::vector<std::string>& actions) override {
    wsm::SetDialogScript([this, actions](wsm::Dialog& dialog) {
      RunReentry();
      lines_.push_back("dialog " + wsm::TheLog().dialog_caption);
      std::string fields = "fields";
      for (int id : kEdits) fields += " " + std::to_string(id) + "=" + dialog.Text(id);
      for (int id : kButtons) {
        fields += " " + std::to_string(id) + "=" + (dialog.Checked(id) ? "x" : "o");
      }
      lines_.push_back(fields);
      for (const std::string& action : actions) {
        const std::size_t colon = action.find(':');
        if (colon == std::string::npos || dialog.Ended()) continue;
        const std::string verb = action.substr(0, colon);
        const std::string rest = action.substr(colon + 1);
        if (verb == "text") {
          const std::size_t eq = rest.find('=');
          dialog.SetText(static_cast<std::uint16_t>(std::stoi(rest.substr(0, eq))),
                         eq == std::string::npos ? "" : rest.substr(eq + 1));
        } else if (verb == "click") {
          dialog.Click(static_cast<std::uint16_t>(std::stoi(rest)));
        }
      }
    });
  }
  std::vector<std::string> TakeDialogLines() override {
    wsm::SetDialogScript(nullptr);
    std::vector<std::string> lines;
    lines.swap(lines_);
    return lines;
  }
  void ArmReentry(std::function<void()> inside) override { reentry_ = std::move(inside); }
  std::vector<std::string> TakeBoxes() override {
    std::vector<std::string> lines;
    const auto& boxes = wsm::TheLog().boxes;
    for (; boxes_seen_ < boxes.size(); ++boxes_seen_) {
      const wsm::MessageBoxCall& box = boxes[boxes_seen_];
      lines.push_back(script::BoxLine(box.caption, box.text, box.style));
    }
    return lines;
  }
  // The recording window system keeps drawing calls, not pixels.
  std::string Colours(int, int, int, int) override { return "unavailable"; }

 private:
  void RunReentry() {
    std::function<void()> inside;
    inside.swap(reentry_);
    if (inside) inside();
  }

  EntryPoint entry_;
  std::function<void()> reentry_;
  std::uint32_t menus_ = 0x100;
  std::size_t boxes_seen_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: script_host <Controller.plug>\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::printf("error cannot load %s (%s)\n", argv[1], dlerror());
    return 1;
  }
  const auto entry = reinterpret_cast<EntryPoint>(dlsym(library, "DoOperation"));
  if (entry == nullptr) {
    std::printf("error no DoOperation in %s\n", argv[1]);
    return 1;
  }
  std::printf("loaded\n");
  std::fflush(stdout);
  PosixPlatform platform(entry);
  return script::Run(platform, stdin, stdout);
}
