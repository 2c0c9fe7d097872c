#include "script_host.h"

#include <chrono>
#include <cstring>
#include <sstream>

namespace script {
namespace {

using Block = std::vector<std::uint8_t>;
constexpr std::uint8_t kUnwritten = 0xEE;  // what the host leaves in its blocks

void PutU32(Block& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutF64(Block& b, std::size_t at, double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}
std::uint32_t GetU32(const Block& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

class Interpreter {
 public:
  Interpreter(Platform& platform, std::FILE* out) : platform_(platform), out_(out) {}

  // False on "quit".
  bool Do(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb.empty()) return true;
    if (verb == "quit") return false;
    elapsed_ms_ = 0;
    std::vector<std::string> inside;
    if (verb == "reenter") {
      std::string rest;
      std::getline(in >> std::ws, rest);
      in.clear();
      in.str(rest);
      verb.clear();
      in >> verb;
      platform_.ArmReentry([this, &inside] { inside = Reenter(); });
    }
    if (verb == "register") {
      std::int32_t version = 0;
      in >> version;
      Block record(801, kUnwritten);
      PutU32(record, 0, static_cast<std::uint32_t>(version));
      Call(0, record);
      Print("record " + Hex(record.data(), record.size()));
    } else if (verb == "time") {
      double day = 0;
      in >> day;
      Block block(16, 0);
      PutF64(block, 0, day);
      Call(34, block);
    } else if (verb == "context") {
      std::uint32_t context = 0;
      in >> context;
      Block block(16, 0);
      PutU32(block, 12, context);
      Call(39, block);
    } else if (verb == "window") {
      const std::uintptr_t window = platform_.NewDebugWindow();
      CallValue(2, window);
      Print(window != 0 ? "window shown" : "window none");
    } else if (verb == "connect" || verb == "disconnect" || verb == "toggle" ||
               verb == "calibrate") {
      const std::uint32_t op = verb == "connect"      ? 26
                               : verb == "disconnect" ? 27
                               : verb == "toggle"     ? 28
                                                      : 30;
      Block block(16, 0);
      Call(op, block);
    } else if (verb == "message") {
      std::uint32_t op = 0;
      in >> op;
      Block block(16, 0);
      Call(op, block);
    } else if (verb == "update") {
      Block block(16, kUnwritten);
      Call(8, block);
      const std::uint32_t kind = GetU32(block, 4);
      const std::uint32_t address = GetU32(block, 8);
      std::string report = "-";
      if (address != 0 && address != 0xEEEEEEEEu) {
        report =
            Hex(reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address)), 19);
      }
      Print("update " + std::to_string(kind) + " " + (address == 0 ? "null" : report));
    } else if (verb == "object") {
      std::uint32_t context = 0;
      in >> context;
      Block record(400, kUnwritten);
      PutU32(record, 320, context);
      Call(21, record);
      Print("object " + Hex(record.data(), 324));
    } else if (verb == "menu") {
      const std::uint32_t menu = platform_.NewMenu();
      Block block(1120, 0);
      PutU32(block, 1108, menu);
      Call(14, block);
      std::string items = "menu";
      for (const std::string& item : platform_.MenuItems(menu)) items += " [" + item + "]";
      Print(items);
    } else if (verb == "state") {
      std::uint32_t id = 0;
      in >> id;
      Block block(8, kUnwritten);
      PutU32(block, 0, id);
      Call(22, block);
      Print("state " + Hex(block.data() + 4, 2));
    } else if (verb == "command") {
      std::uint32_t id = 0;
      double ra = 0, dec = 0;
      in >> id >> ra >> dec;
      std::string name;
      std::getline(in >> std::ws, name);
      Block block(1120, 0);
      block[8] = static_cast<std::uint8_t>(name.size());
      std::memcpy(block.data() + 9, name.data(), name.size() & 0xFF);
      PutF64(block, 544, ra);
      PutF64(block, 552, dec);
      PutU32(block, 1116, id);
      Call(15, block);
    } else if (verb == "configure") {
      std::vector<std::string> actions;
      for (std::string action; in >> action;) actions.push_back(action);
      platform_.ArmDialog(actions);
      Block block(16, 0);
      Call(23, block);
      for (const std::string& l : platform_.TakeDialogLines()) Print(l);
    } else if (verb == "colours") {
      int x = 0, y = 0, w = 0, h = 0;
      in >> x >> y >> w >> h;
      Print("colours " + platform_.Colours(x, y, w, h));
    } else if (verb == "bench") {
      int n = 0;
      in >> n;
      double total = 0, least = 1e9, most = 0;
      for (int i = 0; i < n; ++i) {
        Block record(400, 0);
        Call(21, record);
        total += last_ms_;
        least = last_ms_ < least ? last_ms_ : least;
        most = last_ms_ > most ? last_ms_ : most;
      }
      char text[128];
      std::snprintf(text, sizeof text, "bench %.3f %.3f %.3f", n > 0 ? total / n : 0.0, least,
                    most);
      Print(text);
    } else {
      Print("unknown " + verb);
    }
    platform_.ArmReentry(nullptr);
    for (const std::string& l : inside) Print(l);
    for (const std::string& box : platform_.TakeBoxes()) Print(box);
    std::fprintf(out_, "ok %.3f\n", elapsed_ms_);
    std::fflush(out_);
    return true;
  }

 private:
  // Operations called while another is in progress: what each wrote into
  // its block.
  std::vector<std::string> Reenter() {
    std::vector<std::string> lines;
    Block update(16, kUnwritten);
    platform_.Call(8, reinterpret_cast<std::uintptr_t>(update.data()));
    lines.push_back("inside update " + std::to_string(GetU32(update, 4)) + " " +
                    Hex(update.data() + 8, 4));
    Block state(8, kUnwritten);
    PutU32(state, 0, 8204);
    platform_.Call(22, reinterpret_cast<std::uintptr_t>(state.data()));
    lines.push_back("inside state " + Hex(state.data() + 4, 2));
    for (std::uint32_t op : {28u, 27u, 23u}) {
      Block block(16, kUnwritten);
      platform_.Call(op, reinterpret_cast<std::uintptr_t>(block.data()));
      lines.push_back("inside " + std::to_string(op) + " " + Hex(block.data(), block.size()));
    }
    Block record(801, kUnwritten);
    PutU32(record, 0, 4);
    platform_.Call(0, reinterpret_cast<std::uintptr_t>(record.data()));
    lines.push_back("inside register " + Hex(record.data(), 8));
    return lines;
  }
  void Call(std::uint32_t selector, Block& block) {
    CallValue(selector, reinterpret_cast<std::uintptr_t>(block.data()));
  }
  void CallValue(std::uint32_t selector, std::uintptr_t parameter) {
    const auto start = std::chrono::steady_clock::now();
    platform_.Call(selector, parameter);
    last_ms_ =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    elapsed_ms_ += last_ms_;
  }
  void Print(const std::string& line) { std::fprintf(out_, "%s\n", line.c_str()); }

  Platform& platform_;
  std::FILE* out_;
  double elapsed_ms_ = 0;
  double last_ms_ = 0;
};

}  // namespace

std::string BoxLine(const std::string& caption, const std::string& text, std::uint32_t style) {
  std::string escaped;
  for (char c : text) {
    if (c == '\n') {
      escaped += "\\n";
    } else if (c != '\r') {
      escaped += c;
    }
  }
  const char* icon = "none";
  switch (style & 0xF0) {
    case 0x10:
      icon = "error";
      break;
    case 0x30:
      icon = "warning";
      break;
    case 0x40:
      icon = "information";
      break;
  }
  const char* modality = (style & 0x1000) != 0 ? "system" : "application";
  return "box " + caption + "|" + escaped + "|" + icon + "|" + modality;
}

int Run(Platform& platform, std::FILE* in, std::FILE* out) {
  Interpreter interpreter(platform, out);
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!interpreter.Do(line)) break;
  }
  return 0;
}

}  // namespace script
