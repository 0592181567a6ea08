#include <gtest/gtest.h>

#include "wire/device_records.h"
#include "wire/ioctl_codes.h"
#include "wire/wire_protocol.h"

namespace rd420 {
namespace {

// Catches: value and index swapped or written big-endian.
TEST(VendorRecord, ZoomTeleEncodesAsTenBytes) {
  const VendorRecord expected = {0x01, 0x02, 0x00, 0x00, 0xB0, 0x00, 0x26, 0x00, 0x05, 0x00};
  EXPECT_EQ(EncodeVendorRecord(0x00260005), expected);
  EXPECT_EQ(DecodeVendorRecord(expected), 0x00260005u);
}

// Catches: the camera side acting on a record of another form.
TEST(VendorRecord, EveryFixedFieldIsChecked) {
  for (size_t byte = 0; byte < 6; ++byte) {
    VendorRecord record = EncodeVendorRecord(0x00030005);
    record[byte] ^= 0x40;
    EXPECT_FALSE(DecodeVendorRecord(record).has_value()) << "byte " << byte;
  }
  const VendorRecord record = EncodeVendorRecord(0x00030005);
  EXPECT_FALSE(DecodeVendorRecord(std::span<const uint8_t>(record).first(9)).has_value());
}

// Catches: reply bytes read little-endian.
TEST(ReplyWord, BytesReadBigEndian) {
  const std::array<uint8_t, 4> bytes = {0x61, 0x80, 0x20, 0x04};
  EXPECT_EQ(ReplyWordFromBytes(bytes), 0x61802004u);
  EXPECT_EQ(ReplyBytesFromWord(0x61802004u), bytes);
}

// Catches: pipe 1's packet size at an offset other than 36.
TEST(InterfaceInformation, PipeOnePacketSizeSitsAtOffset36) {
  InterfaceInformation info;
  info.pipes = {{64, 0x01, 0, 2, 1, 4096, 0}, {512, 0x82, 0, 2, 2, 4096, 0}};
  const std::vector<uint8_t> bytes = EncodeInterfaceInformation(info);
  ASSERT_EQ(bytes.size(), 56u);
  EXPECT_EQ(bytes[0], 56);
  EXPECT_EQ(bytes[12], 2);
  EXPECT_EQ(bytes[36] | (bytes[37] << 8), 512);
  EXPECT_EQ(bytes[38], 0x82);
  const auto decoded = DecodeInterfaceInformation(bytes);
  ASSERT_TRUE(decoded.has_value());
  ASSERT_EQ(decoded->pipes.size(), 2u);
  EXPECT_EQ(decoded->pipes[1].maximumPacketSize, 512);
  EXPECT_EQ(decoded->pipes[0].maximumPacketSize, 64);
}

// Catches: reading pipe records past the bytes that came back.
TEST(InterfaceInformation, ShortReplyYieldsOnlyWholePipes) {
  InterfaceInformation info;
  info.pipes = {{512, 0x01, 0, 2, 1, 4096, 0}, {512, 0x82, 0, 2, 2, 4096, 0}};
  const std::vector<uint8_t> bytes = EncodeInterfaceInformation(info);
  const auto cut = DecodeInterfaceInformation(std::span<const uint8_t>(bytes).first(50));
  ASSERT_TRUE(cut.has_value());
  EXPECT_EQ(cut->pipes.size(), 1u);
  EXPECT_FALSE(DecodeInterfaceInformation(std::span<const uint8_t>(bytes).first(15)));
}

// Catches: the daemon accepting a request outside the wire format's rules.
TEST(WireProtocol, WellFormedRequests) {
  struct Case {
    wire::RequestHeader header;
    bool wellFormed;
  };
  const Case cases[] = {
      {{kIoctlGetPipeInformation, 0, 1024}, true},
      {{kIoctlGetPipeInformation, 4, 1024}, false},
      {{kIoctlVendorRequest, 10, 4}, true},
      {{kIoctlVendorRequest, 11, 4}, false},
      {{kIoctlBulkRead, 4, 2457600}, true},
      {{kIoctlBulkRead, 4, 16 * 1024 * 1024}, true},
      {{kIoctlBulkRead, 4, 16 * 1024 * 1024 + 1}, false},
      {{kIoctlAbortPipe, 4, 0}, true},
      {{kIoctlAbortPipe, 0, 0}, false},
      {{0x222004, 0, 0}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wire::IsWellFormed(c.header), c.wellFormed)
        << std::hex << c.header.code << " in " << c.header.inputLength;
  }
  const auto bytes = wire::EncodeRequestHeader({kIoctlVendorRequest, 10, 4});
  EXPECT_EQ(bytes[0], 'R');
  EXPECT_EQ(bytes[3], '2');
  EXPECT_EQ(bytes[4], 0x59);
  EXPECT_EQ(bytes[6], 0x22);
  const auto decoded = wire::DecodeRequestHeader(bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->code, kIoctlVendorRequest);
  auto bad = bytes;
  bad[1] = 'X';
  EXPECT_FALSE(wire::DecodeRequestHeader(bad));
}

}  // namespace
}  // namespace rd420
