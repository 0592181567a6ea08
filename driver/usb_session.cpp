#include "driver/usb_session.h"

#include <zstd.h>

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "driver/hex_text.h"

namespace rd420 {

namespace {

constexpr char kMagic[] = "rd420-usb-session";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Fast enough for a frame on the USB event thread (a few ms at full size).
constexpr int kZstdLevel = 1;

std::string Base64(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = uint32_t{bytes[i]} << 16;
    group |= n > 1 ? uint32_t{bytes[i + 1]} << 8 : 0;
    group |= n > 2 ? bytes[i + 2] : 0;
    for (size_t k = 0; k < 4; ++k) {
      text += k <= n ? kBase64[(group >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return text;
}

std::optional<std::vector<uint8_t>> FromBase64(std::string_view text) {
  std::vector<uint8_t> bytes;
  uint32_t group = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') {
      break;
    }
    const char* at = std::strchr(kBase64, c);
    if (at == nullptr || c == '\0') {
      return std::nullopt;
    }
    group = (group << 6) | static_cast<uint32_t>(at - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<uint8_t>(group >> bits));
    }
  }
  return bytes;
}

std::optional<std::vector<uint8_t>> FromHex(std::string_view text) {
  std::vector<uint8_t> bytes;
  if (text == "-") {
    return bytes;
  }
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(std::string(text.substr(i, 2)).c_str(), "%2x", &value) != 1) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[512];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// The "key value" pairs after a line's first words.
using Fields = std::map<std::string, std::string>;

std::optional<Fields> ReadFields(std::istringstream& words) {
  Fields fields;
  for (std::string key, value; words >> key;) {
    if (!(words >> value)) {
      return std::nullopt;
    }
    fields[key] = value;
  }
  return fields;
}

std::optional<long long> Number(const Fields& fields, const std::string& key, int base = 10) {
  const auto found = fields.find(key);
  if (found == fields.end()) {
    return std::nullopt;
  }
  char* end = nullptr;
  const long long value = std::strtoll(found->second.c_str(), &end, base);
  return end != found->second.c_str() && *end == '\0' ? std::optional(value) : std::nullopt;
}

}  // namespace

uint64_t Fnv1a64(std::span<const uint8_t> bytes) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) {
    hash = (hash ^ b) * 0x100000001b3ull;
  }
  return hash;
}

std::string DescribeRequest(const UsbRecordedTransfer& t) {
  switch (t.kind) {
    case UsbRequestKind::kControl:
      return Format("control type 0x%02X request 0x%02X value 0x%04X index 0x%04X length %u",
                    t.requestType, t.request, t.value, t.index, t.length);
    case UsbRequestKind::kBulk:
      return Format("bulk IN endpoint 0x%02X length %u", t.endpoint, t.length);
    case UsbRequestKind::kClearHalt:
      return Format("clear-halt endpoint 0x%02X", t.endpoint);
  }
  return "";
}

UsbSessionWriter::UsbSessionWriter(std::FILE* file, bool payloads)
    : file_(file), payloads_(payloads), start_(std::chrono::steady_clock::now()) {
  PutLine(Format("%s %d", kMagic, kUsbSessionVersion));
  PutLine(payloads ? "# bulk payloads: zstd, then base64" : "# bulk payloads left out");
}

UsbSessionWriter::~UsbSessionWriter() {
  std::fclose(file_);
}

void UsbSessionWriter::PutLine(const std::string& line) {
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  // A daemon that dies keeps what it had written.
  std::fflush(file_);
}

std::chrono::microseconds UsbSessionWriter::Now() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                               start_);
}

uint64_t UsbSessionWriter::NextRequest() {
  std::lock_guard lock(mutex_);
  return requests_++;
}

int UsbSessionWriter::Device(uint16_t vendorId, uint16_t productId, const UsbLocation& location,
                             uint8_t address, const UsbInterface& interface) {
  std::lock_guard lock(mutex_);
  const int device = devices_++;
  std::string ports;
  for (uint8_t port : location.ports) {
    ports += (ports.empty() ? "" : ".") + std::to_string(port);
  }
  PutLine(Format("device %d id %04x:%04x bus %u ports %s address %u", device, vendorId, productId,
                 unsigned{location.bus}, ports.empty() ? "-" : ports.c_str(), unsigned{address}));
  PutLine(Format("interface %d number %u alternate %u class 0x%02x subclass 0x%02x protocol 0x%02x",
                 device, unsigned{interface.number}, unsigned{interface.alternateSetting},
                 unsigned{interface.interfaceClass}, unsigned{interface.interfaceSubClass},
                 unsigned{interface.interfaceProtocol}));
  for (const UsbEndpoint& e : interface.endpoints) {
    PutLine(Format("endpoint %d address 0x%02x attributes 0x%02x packet %u interval %u", device,
                   unsigned{e.address}, unsigned{e.attributes}, unsigned{e.maxPacketSize},
                   unsigned{e.interval}));
  }
  return device;
}

void UsbSessionWriter::Write(int device, const UsbRecordedTransfer& t,
                             std::span<const uint8_t> bytes) {
  std::string line;
  const std::string head =
      Format("%" PRIu64 " dev %d at %lld took %lld", t.number, device,
             static_cast<long long>(t.at.count()), static_cast<long long>(t.took.count()));
  switch (t.kind) {
    case UsbRequestKind::kControl:
      line = Format(
          "control %s type 0x%02x request 0x%02x value 0x%04x index 0x%04x length %u "
          "result %d data %s",
          head.c_str(), t.requestType, t.request, t.value, t.index, t.length, t.result,
          bytes.empty() ? "-" : HexText(bytes).c_str());
      break;
    case UsbRequestKind::kBulk:
      line = Format("bulk %s endpoint 0x%02x length %u status %d actual %u fnv1a64 %016" PRIx64,
                    head.c_str(), t.endpoint, t.length, t.result, t.actual, Fnv1a64(bytes));
      if (payloads_ && !bytes.empty()) {
        std::vector<uint8_t> packed(ZSTD_compressBound(bytes.size()));
        const size_t size =
            ZSTD_compress(packed.data(), packed.size(), bytes.data(), bytes.size(), kZstdLevel);
        if (!ZSTD_isError(size)) {
          line += " zstd " + Base64(std::span(packed).first(size));
        }
      }
      break;
    case UsbRequestKind::kClearHalt:
      line = Format("clear-halt %s endpoint 0x%02x result %d", head.c_str(), t.endpoint, t.result);
      break;
  }
  std::lock_guard lock(mutex_);
  PutLine(line);
}

std::optional<UsbSession> ReadUsbSession(const std::string& path, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot open the session file " + path;
    return std::nullopt;
  }
  UsbSession session;
  bool device = false;
  int lineNumber = 0;
  const auto bad = [&](const std::string& why) {
    error = Format("%s line %d: %s", path.c_str(), lineNumber, why.c_str());
    return std::nullopt;
  };
  for (std::string line; std::getline(file, line);) {
    ++lineNumber;
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind.starts_with("#")) {
      continue;
    }
    if (lineNumber == 1) {
      int version = 0;
      if (kind != kMagic || !(words >> version) || version != kUsbSessionVersion) {
        return bad(Format("not a USB session of version %d", kUsbSessionVersion));
      }
      continue;
    }
    std::string id;
    if (!(words >> id)) {
      return bad("no number after " + kind);
    }
    const std::optional<Fields> fields = ReadFields(words);
    if (!fields) {
      return bad("a key without its value");
    }
    const auto need = [&](const char* key, int base = 10) {
      return Number(*fields, key, base).value_or(-1);
    };
    if (kind == "device") {
      if (device) {
        continue;  // one camera a session: the first
      }
      device = true;
      unsigned vendor = 0, product = 0;
      if (std::sscanf(fields->count("id") ? fields->at("id").c_str() : "", "%4x:%4x", &vendor,
                      &product) != 2) {
        return bad("device without id VID:PID");
      }
      session.vendorId = static_cast<uint16_t>(vendor);
      session.productId = static_cast<uint16_t>(product);
      session.location.bus = static_cast<uint8_t>(need("bus"));
      std::istringstream ports(fields->count("ports") ? fields->at("ports") : "-");
      for (std::string port; std::getline(ports, port, '.');) {
        if (port != "-") {
          session.location.ports.push_back(static_cast<uint8_t>(std::atoi(port.c_str())));
        }
      }
      session.address = static_cast<uint8_t>(need("address"));
      continue;
    }
    if (!device) {
      return bad("a " + kind + " line before the device line");
    }
    if ((kind == "interface" || kind == "endpoint") && id != "0") {
      continue;  // another device's
    }
    if (kind == "interface") {
      session.interface.number = static_cast<uint8_t>(need("number"));
      session.interface.alternateSetting = static_cast<uint8_t>(need("alternate"));
      session.interface.interfaceClass = static_cast<uint8_t>(need("class", 16));
      session.interface.interfaceSubClass = static_cast<uint8_t>(need("subclass", 16));
      session.interface.interfaceProtocol = static_cast<uint8_t>(need("protocol", 16));
      continue;
    }
    if (kind == "endpoint") {
      session.interface.endpoints.push_back(
          {static_cast<uint8_t>(need("address", 16)), static_cast<uint8_t>(need("attributes", 16)),
           static_cast<uint16_t>(need("packet")), static_cast<uint8_t>(need("interval"))});
      continue;
    }
    UsbRecordedTransfer t;
    t.line = lineNumber;
    t.number = std::strtoull(id.c_str(), nullptr, 10);
    if (need("dev") != 0) {
      continue;
    }
    t.at = std::chrono::microseconds(need("at"));
    t.took = std::chrono::microseconds(need("took"));
    t.result = static_cast<int>(Number(*fields, "result").value_or(0));
    if (kind == "control") {
      t.kind = UsbRequestKind::kControl;
      t.requestType = static_cast<uint8_t>(need("type", 16));
      t.request = static_cast<uint8_t>(need("request", 16));
      t.value = static_cast<uint16_t>(need("value", 16));
      t.index = static_cast<uint16_t>(need("index", 16));
      t.length = static_cast<uint32_t>(need("length"));
      const auto data = FromHex(fields->count("data") ? fields->at("data") : "");
      if (!data) {
        return bad("control data not in hexadecimal");
      }
      t.data = *data;
    } else if (kind == "bulk") {
      t.kind = UsbRequestKind::kBulk;
      t.endpoint = static_cast<uint8_t>(need("endpoint", 16));
      t.length = static_cast<uint32_t>(need("length"));
      t.result = static_cast<int>(need("status"));
      t.actual = static_cast<uint32_t>(need("actual"));
      if (fields->count("fnv1a64")) {
        t.digest = std::strtoull(fields->at("fnv1a64").c_str(), nullptr, 16);
      }
      if (fields->count("zstd")) {
        const auto packed = FromBase64(fields->at("zstd"));
        t.data.resize(t.actual);
        if (!packed || ZSTD_isError(ZSTD_decompress(t.data.data(), t.data.size(), packed->data(),
                                                    packed->size()))) {
          return bad("a bulk payload that does not unpack");
        }
        t.hasPayload = true;
      }
    } else if (kind == "clear-halt") {
      t.kind = UsbRequestKind::kClearHalt;
      t.endpoint = static_cast<uint8_t>(need("endpoint", 16));
    } else {
      return bad("unknown line " + kind);
    }
    session.transfers.push_back(std::move(t));
  }
  if (!device) {
    error = path + ": no device line";
    return std::nullopt;
  }
  std::sort(session.transfers.begin(), session.transfers.end(),
            [](const auto& a, const auto& b) { return a.number < b.number; });
  return session;
}

}  // namespace rd420
