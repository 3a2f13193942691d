#include "protocol/Requests.h"

#include "ports/UdpPort.h"
#include "protocol/ByteCursor.h"

namespace {

struct RequestLayout {
    std::uint8_t code;
    std::uint16_t payloadLength;
    bool broadcast;  // sent to 255.255.255.255 even when aimed at one router
};

constexpr RequestLayout kLayouts[] = {
    {REQ_DISCOVER, 0, true},
    {REQ_UPDATE, 12, false},
    {REQ_STATUS, 0, false},
    {REQ_MODULE_INFO, 4, true},
    {REQ_UPDATE_EXT, 24, false},
};

const RequestLayout* LayoutOf(std::uint8_t code) {
    for (const RequestLayout& layout : kLayouts) {
        if (layout.code == code) return &layout;
    }
    return nullptr;
}

void WriteScrambledPassword(ByteWriter& writer, const DeviceRecord& device) {
    std::uint8_t scrambled[8];
    ScramblePassword(scrambled, device.password, device.key);
    writer.Bytes(scrambled);
}

}  // namespace

void ScramblePassword(std::uint8_t (&out)[8], const std::uint8_t* password, std::uint32_t key) {
    std::uint8_t w[8] = {
        static_cast<std::uint8_t>(key),       static_cast<std::uint8_t>(key >> 8),
        static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 24),
        0, 0, 0, 0,
    };
    for (int i = 0; i < 4; ++i) w[4 + i] = static_cast<std::uint8_t>(w[i] * (w[i] ^ w[3 - i]));
    // Even password bytes cascade down the even work bytes into outputs 0..3,
    // odd ones down the odd work bytes into outputs 7..4.
    for (int i = 0; i < 4; ++i) {
        w[0] ^= password[2 * i];
        for (int j = 2; j <= 2 * i; j += 2) w[j] ^= w[j - 2];
        out[i] = w[2 * i];
        w[1] ^= password[2 * i + 1];
        for (int j = 3; j <= 2 * i + 1; j += 2) w[j] ^= w[j - 2];
        out[7 - i] = w[2 * i + 1];
    }
}

RequestDatagram BuildRequest(std::uint8_t code, const DeviceRecord* device, const StationIdentity& station,
                             std::uint32_t imageSize) {
    RequestDatagram request;
    const RequestLayout* layout = LayoutOf(code);
    if (layout == nullptr) return request;
    if (device == nullptr && code != REQ_DISCOVER) return request;
    if (code == REQ_UPDATE_EXT && device->extUpdateValues == nullptr) return request;

    ByteWriter writer(request.bytes);
    writer.U16(HEADER_SIZE);
    writer.U16(0);  // reserved
    writer.U32(REQUEST_VERSION);
    writer.U8(static_cast<std::uint8_t>(~code));
    writer.U8(code);
    writer.U16(layout->payloadLength);
    writer.U32(0);  // reserved
    writer.Bytes(station);
    writer.Bytes(device != nullptr ? device->mac : ALL_STATIONS);
    writer.U32(0);  // status

    switch (code) {
        case REQ_UPDATE:
            writer.U32(imageSize);
            WriteScrambledPassword(writer, *device);
            break;
        case REQ_MODULE_INFO:
            writer.U32(device->requestArg);
            break;
        case REQ_UPDATE_EXT: {
            const ExtUpdateValues& values = *device->extUpdateValues;
            writer.U32(imageSize);
            writer.U32(values.valueA);
            writer.U32(values.kind);
            writer.U32(values.valueC);
            WriteScrambledPassword(writer, *device);
            break;
        }
        default:
            break;
    }

    if (!writer.Ok()) return request;
    request.length = writer.Written();
    request.destination = layout->broadcast ? BROADCAST_ADDRESS : device->ipAddress;
    return request;
}

RequestSender::RequestSender(UdpPort& udp, const StationIdentity& station, const FirmwareImage& image)
    : udp_(udp), station_(station), image_(image) {}

void RequestSender::SendRequest(std::uint8_t code, const DeviceRecord* device) {
    const RequestDatagram request = BuildRequest(code, device, station_, image_.size);
    if (request.length == 0) return;
    udp_.SendTo(request.bytes.data(), request.length, request.destination, ROUTER_PORT);
}
