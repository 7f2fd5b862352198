#include "capture/BridgeHandle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

namespace qelvo {
namespace {

using namespace bridge_status;

// A chip whose every call is logged, with registers in memory and failures on demand.
struct FakeChipState {
    struct Call {
        bool set;
        std::uint32_t code;
        std::uint32_t word;  // first 32-bit word of the block (request words)
    };
    std::vector<Call> calls;
    std::map<std::uint32_t, std::uint8_t> registers;
    std::set<std::uint32_t> failingSets;
    std::set<std::uint32_t> failingGets;
    bool probeOk = true;
    std::uint8_t memory[256] = {};
    std::uint32_t configuration = 0;
    std::uint8_t identification = 0x22;
    std::uint32_t selected = 0;
    std::uint32_t serialWord = 0;
    int released = 0;
};

class FakeChip : public BridgePropertyInterface {
public:
    explicit FakeChip(FakeChipState& state) : s_(state) {}
    ~FakeChip() override { ++s_.released; }

    std::int32_t Set(std::uint32_t code, void* data, std::size_t size) override {
        log(true, code, data, size);
        if (s_.failingSets.count(code)) return kFail;
        switch (code) {
            case bridge_code::kSelectRegister:
                s_.selected = word(data);
                return kOk;
            case bridge_code::kRegisterData:
                s_.registers[s_.selected >> 8] = *static_cast<std::uint8_t*>(data);
                return kOk;
            case bridge_code::kSelectSerial:
                s_.serialWord = static_cast<BridgeSerialRequest*>(data)->transferWord;
                return kOk;
            case bridge_code::kProbeSerial:
                return s_.probeOk ? kOk : kNotSupported;
            default:
                return kNotSupported;
        }
    }
    std::int32_t Get(std::uint32_t code, void* data, std::size_t size) override {
        log(false, code, data, size);
        if (s_.failingGets.count(code)) return kFail;
        switch (code) {
            case bridge_code::kRegisterData:
                *static_cast<std::uint8_t*>(data) = s_.registers[s_.selected >> 8];
                return kOk;
            case bridge_code::kSerialData: {
                const std::uint32_t offset = s_.serialWord & 0xFF;
                const std::uint32_t length = (s_.serialWord >> 8) & 0xFF;
                if (size < length || offset + length > 256) return kInvalidArg;
                std::memcpy(data, s_.memory + offset, length);
                return kOk;
            }
            case bridge_code::kConfiguration:
                std::memcpy(data, &s_.configuration, 4);
                return kOk;
            case bridge_code::kIdentification:
                *static_cast<std::uint8_t*>(data) = s_.identification;
                return kOk;
            default:
                return kNotSupported;
        }
    }

private:
    static std::uint32_t word(const void* data) {
        std::uint32_t w = 0;
        std::memcpy(&w, data, 4);
        return w;
    }
    void log(bool set, std::uint32_t code, void* data, std::size_t size) {
        s_.calls.push_back({set, code, data && size >= 4 ? word(data) : 0});
    }
    FakeChipState& s_;
};

VideoInputDevice device(const std::string& name) {
    VideoInputDevice d;
    d.friendlyName = name;
    return d;
}

class BridgeHandleTest : public ::testing::Test {
protected:
    BridgeDeviceSource source(std::vector<VideoInputDevice> inputs,
                              std::vector<VideoInputDevice> receivers = {}) {
        BridgeDeviceSource s;
        s.videoInputs = [inputs] { return inputs; };
        s.receivers = [receivers] { return receivers; };
        s.query = [this](const VideoInputDevice& d) -> std::unique_ptr<BridgePropertyInterface> {
            queried.push_back(d.friendlyName);
            if (d.friendlyName.find("NoChip") != std::string::npos) return nullptr;
            return std::make_unique<FakeChip>(chip);
        };
        return s;
    }
    std::unique_ptr<BridgeHandle> openHandle() {
        auto handle = std::make_unique<BridgeHandle>(source({device("USB 2860 Device")}));
        EXPECT_EQ(handle->open("USB 2860"), kOk);
        chip.calls.clear();
        return handle;
    }

    FakeChipState chip;
    std::vector<std::string> queried;
};

TEST_F(BridgeHandleTest, SerialTransferWordPacksAddressLengthAndOffset) {
    EXPECT_EQ(serialTransferWord(0xA0, 4, 4), 0x01A00404u);
    EXPECT_EQ(serialTransferWord(0xA0, 2, 0x1FF), 0x01A002FFu);
    EXPECT_EQ(serialTransferWord(0x1A0, 1, 0), 0x01A00100u);  // address cut to 8 bits
}

TEST_F(BridgeHandleTest, OpenMatchesNamePrefixThenFamilyNamesAcrossCategories) {
    BridgeHandle byName(
        source({device("Webcam"), device("WDM 2860 Capture A"), device("WDM 2860 Capture B")}));
    EXPECT_EQ(byName.open("WDM 2860"), kOk);
    EXPECT_EQ(queried, std::vector<std::string>{"WDM 2860 Capture A"});

    queried.clear();
    BridgeHandle byFamily(source({device("Webcam")}, {device("USB 2861 Device #2")}));
    EXPECT_EQ(byFamily.open("Something Else"), kOk);
    EXPECT_EQ(queried, std::vector<std::string>{"USB 2861 Device #2"});

    // The family list is tried in its own order: 2800 before 2870, whatever the device order.
    queried.clear();
    BridgeHandle ordered(source({device("USB 2870 Device"), device("USB 2800 Device")}));
    EXPECT_EQ(ordered.open("x"), kOk);
    EXPECT_EQ(queried, std::vector<std::string>{"USB 2800 Device"});

    BridgeHandle caseSensitive(source({device("wdm 2860")}));
    EXPECT_LT(caseSensitive.open("WDM 2860"), 0);
    EXPECT_FALSE(caseSensitive.isOpen());

    // A found device without the interface fails; the search does not go on.
    queried.clear();
    BridgeHandle noChip(source({device("USB 2860 NoChip"), device("USB 2860 Device")}));
    EXPECT_EQ(noChip.open("USB 2860"), kNoInterface);
    EXPECT_FALSE(noChip.isOpen());
    EXPECT_EQ(queried.size(), 1u);
}

TEST_F(BridgeHandleTest, EveryCallOnAClosedHandleReturnsSixAndTouchesNothing) {
    BridgeHandle handle(source({device("USB 2860 Device")}));
    std::uint8_t byte = 0x77;
    std::uint16_t vendor = 1;
    std::uint16_t product = 2;
    EXPECT_EQ(handle.read_register(0x08, {&byte, 1}), BridgeHandle::kClosed);
    EXPECT_EQ(handle.write_register(0x08, {&byte, 1}), BridgeHandle::kClosed);
    EXPECT_EQ(handle.serial_transfer(0x01A00404, {&byte, 1}, 0), BridgeHandle::kClosed);
    EXPECT_EQ(handle.set_output(1), BridgeHandle::kClosed);
    EXPECT_EQ(handle.poll_snapshot_button(), BridgeHandle::kClosed);
    EXPECT_EQ(handle.chip_id(vendor, product), BridgeHandle::kClosed);
    EXPECT_EQ(byte, 0x77);
    EXPECT_EQ(vendor, 1);
    EXPECT_EQ(product, 2);
    EXPECT_TRUE(chip.calls.empty());

    ASSERT_EQ(handle.open("USB"), kOk);
    handle.close();
    EXPECT_EQ(chip.released, 1);
    EXPECT_EQ(handle.poll_snapshot_button(), BridgeHandle::kClosed);
}

TEST_F(BridgeHandleTest, RegisterAccessUsesRequestWordsAndResetsAfterAFailure) {
    auto handle = openHandle();
    chip.registers[0x0C] = 0x5A;
    std::uint8_t byte = 0;
    ASSERT_EQ(handle->read_register(0x0C, {&byte, 1}), kOk);
    EXPECT_EQ(byte, 0x5A);
    ASSERT_EQ(chip.calls.size(), 2u);
    EXPECT_TRUE(chip.calls[0].set);
    EXPECT_EQ(chip.calls[0].code, bridge_code::kSelectRegister);
    EXPECT_EQ(chip.calls[0].word, 0x0C01u);
    EXPECT_FALSE(chip.calls[1].set);
    EXPECT_EQ(chip.calls[1].code, bridge_code::kRegisterData);

    // The data step fails: the selection is reset with 0 and the failure is returned.
    chip.calls.clear();
    chip.failingGets.insert(bridge_code::kRegisterData);
    EXPECT_EQ(handle->read_register(0x0C, {&byte, 1}), kFail);
    EXPECT_EQ(handle->lastResult(), kFail);
    ASSERT_EQ(chip.calls.size(), 3u);
    EXPECT_EQ(chip.calls[2].code, bridge_code::kSelectRegister);
    EXPECT_EQ(chip.calls[2].word, 0u);

    // The selection itself fails on a write: reset, and no data is sent.
    chip.calls.clear();
    chip.failingSets.insert(bridge_code::kSelectRegister);
    EXPECT_EQ(handle->write_register(0x08, {&byte, 1}), kFail);
    ASSERT_EQ(chip.calls.size(), 2u);
    EXPECT_EQ(chip.calls[1].code, bridge_code::kSelectRegister);
    EXPECT_EQ(chip.calls[1].word, 0u);

    // Serial transfer: a failed move resets the serial selection.
    chip.calls.clear();
    chip.failingSets.clear();
    chip.failingGets = {bridge_code::kSerialData};
    std::uint8_t bytes[4] = {};
    EXPECT_EQ(handle->serial_transfer(serialTransferWord(0xA0, 4, 4), bytes, 0), kFail);
    ASSERT_EQ(chip.calls.size(), 3u);
    EXPECT_EQ(chip.calls[0].code, bridge_code::kSelectSerial);
    EXPECT_EQ(chip.calls[0].word, 0x01A00404u);
    EXPECT_EQ(chip.calls[2].code, bridge_code::kSelectSerial);
    EXPECT_EQ(chip.calls[2].word, 0u);
    // A buffer shorter than the word's length is refused before the driver sees it.
    chip.calls.clear();
    EXPECT_LT(handle->serial_transfer(serialTransferWord(0xA0, 4, 4), {bytes, 2}, 0), 0);
    EXPECT_TRUE(chip.calls.empty());
}

TEST_F(BridgeHandleTest, OutputBitsAreOredAndAPressIsReportedOnce) {
    auto handle = openHandle();
    chip.registers[0x08] = 0x81;
    EXPECT_EQ(handle->set_output(0x02), kOk);
    EXPECT_EQ(chip.registers[0x08], 0x83);
    EXPECT_EQ(handle->outputValue(), 0x02u);

    EXPECT_EQ(handle->poll_snapshot_button(), 0);
    chip.registers[0x0C] = 0x21;
    EXPECT_EQ(handle->poll_snapshot_button(), 1);
    EXPECT_EQ(chip.registers[0x0C], 0x01);  // only bit 0x20 cleared
    EXPECT_EQ(handle->poll_snapshot_button(), 0);

    chip.registers[0x0C] = 0x20;
    chip.failingGets.insert(bridge_code::kRegisterData);
    EXPECT_EQ(handle->poll_snapshot_button(), 0);
}

TEST_F(BridgeHandleTest, ChipIdFromConfigMemoryOrFromTheIdentificationTable) {
    auto handle = openHandle();
    const std::uint8_t head[] = {0, 0, 0, 0, 0x1A, 0xEB, 0x61, 0x28};
    std::memcpy(chip.memory, head, sizeof head);
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    ASSERT_EQ(handle->chip_id(vendor, product), kOk);
    EXPECT_EQ(vendor, 0xEB1A);
    EXPECT_EQ(product, 0x2861);
    EXPECT_EQ(chip.calls[0].code, bridge_code::kProbeSerial);
    EXPECT_EQ(chip.calls[0].word, 0xA0u);

    chip.probeOk = false;
    const std::pair<std::uint8_t, std::uint16_t> table[] = {
        {0x11, 0x2710}, {0x12, 0x2820}, {0x14, 0x2840}, {0x21, 0x2750},
        {0x22, 0x2860}, {0x23, 0x2870}, {0x24, 0x2880}, {0x99, 0x2800}};
    for (auto [id, expected] : table) {
        for (std::uint32_t config : {0x00u, 0x40u}) {
            chip.identification = id;
            chip.configuration = config;
            vendor = product = 0;
            ASSERT_EQ(handle->chip_id(vendor, product), kOk);
            EXPECT_EQ(vendor, 0xEB1A);
            const bool plusOne = config == 0x40 && expected != 0x2870;
            EXPECT_EQ(product, expected + (plusOne ? 1 : 0)) << int(id) << " " << config;
        }
    }
    chip.failingGets.insert(bridge_code::kIdentification);
    vendor = product = 7;
    EXPECT_EQ(handle->chip_id(vendor, product), kFail);
    EXPECT_EQ(product, 7);
}

TEST_F(BridgeHandleTest, ProcessWideHandleOpensWithOutputZeroAndLeavesNothingOnFailure) {
    setBridgeDeviceSource(source({device("WDM 2860 Capture")}));
    chip.registers[0x08] = 0x10;
    EXPECT_LT(openBridgeHandle("Nothing Like It"), 0);
    EXPECT_EQ(bridgeHandle(), nullptr);

    ASSERT_EQ(openBridgeHandle("WDM 2860 Capture"), kOk);
    ASSERT_NE(bridgeHandle(), nullptr);
    EXPECT_EQ(bridgeHandle()->outputValue(), 0u);
    // The opening sequence read and wrote register 0x08, then asked for the chip's identity.
    bool wroteOutput = false;
    bool probed = false;
    for (const auto& call : chip.calls) {
        wroteOutput |= call.set && call.code == bridge_code::kRegisterData;
        probed |= call.code == bridge_code::kProbeSerial;
    }
    EXPECT_TRUE(wroteOutput);
    EXPECT_TRUE(probed);
    EXPECT_EQ(chip.registers[0x08], 0x10);

    // Opening again replaces the handle; closing leaves none.
    ASSERT_EQ(openBridgeHandle("WDM 2860"), kOk);
    EXPECT_EQ(chip.released, 1);
    closeBridgeHandle();
    EXPECT_EQ(bridgeHandle(), nullptr);
    EXPECT_EQ(chip.released, 2);
    closeBridgeHandle();
    setBridgeDeviceSource({});

    // A source given to the opening sequence itself.
    ASSERT_EQ(openBridgeHandle("USB 2860", source({device("USB 2860 Device")})), kOk);
    EXPECT_NE(bridgeHandle(), nullptr);
    closeBridgeHandle();
}

}  // namespace
}  // namespace qelvo
