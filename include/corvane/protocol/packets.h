#pragma once

#include <cstddef>
#include <cstdint>

// The boot loader's answer: byte 0 is the response code, the rest is command-specific.
struct prot_rsp_t {
  uint8_t code;
  uint8_t data[53];
};
static_assert(sizeof(prot_rsp_t) == 54);

constexpr uint8_t kRspAck = 0x50;  // "P"
constexpr uint8_t kRspNak = 0x51;  // "Q"

// DIAG / DLOAD packets: byte 0 is the command code (DIAG echoes it in its answer).
constexpr size_t kDiagPacketMax = 0x2200;

struct diag_req_type {
  uint8_t cmd_code;
  uint8_t data[kDiagPacketMax - 1];
};

struct diag_rsp_type {
  uint8_t cmd_code;
  uint8_t data[kDiagPacketMax - 1];
};

constexpr uint8_t kDloadAck = 0x02;
constexpr uint8_t kDloadNak = 0x03;

// Results of every packet transaction.
constexpr int kTxOk = 1;
constexpr int kTxFail = 23;
// AsyncTxRxEx and AsyncTxRxExFile only: a complete frame whose check sequence was wrong.
constexpr int kTxBadFrame = 0;

// What the last WaitRsp saw.
enum RxState : int32_t {
  RX_TIMEOUT = 0,    // no complete frame in time
  RX_OK = 1,         // a good frame is in the decode buffer
  RX_CRC_ERROR = 2,  // a complete frame failed its check (or did not fit)
  RX_RECEIVING = 3,  // bytes arrived, no complete frame yet
};
