#pragma once

#include <cstdint>

namespace fabricor::gateway {

// Modbus function codes.
inline constexpr uint8_t kReadCoils = 0x01;
inline constexpr uint8_t kReadDiscreteInputs = 0x02;
inline constexpr uint8_t kReadHoldingRegisters = 0x03;
inline constexpr uint8_t kReadInputRegisters = 0x04;
inline constexpr uint8_t kWriteSingleCoil = 0x05;
inline constexpr uint8_t kWriteSingleRegister = 0x06;
inline constexpr uint8_t kReadExceptionStatus = 0x07;
inline constexpr uint8_t kGetCommEventCounter = 0x0B;
inline constexpr uint8_t kGetCommEventLog = 0x0C;
inline constexpr uint8_t kWriteMultipleCoils = 0x0F;
inline constexpr uint8_t kWriteMultipleRegisters = 0x10;
inline constexpr uint8_t kReportServerId = 0x11;
inline constexpr uint8_t kMaskWriteRegister = 0x16;
inline constexpr uint8_t kReadWriteMultipleRegisters = 0x17;

// Modbus exception codes.
inline constexpr uint8_t kIllegalFunction = 0x01;
inline constexpr uint8_t kIllegalDataAddress = 0x02;
inline constexpr uint8_t kIllegalDataValue = 0x03;
inline constexpr uint8_t kServerDeviceFailure = 0x04;
inline constexpr uint8_t kAcknowledge = 0x05;
inline constexpr uint8_t kServerDeviceBusy = 0x06;
inline constexpr uint8_t kMemoryParityError = 0x08;
inline constexpr uint8_t kGatewayPathUnavailable = 0x0A;
inline constexpr uint8_t kGatewayTargetFailed = 0x0B;

// Set in the function code of an exception answer.
inline constexpr uint8_t kExceptionBit = 0x80;

} // namespace fabricor::gateway
