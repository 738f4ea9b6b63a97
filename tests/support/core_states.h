// Brings a protocol core to an operation state the way the tool gets there, through its requests
// and a board's answers, for tests that dispatch datagrams in that state. A search clears the
// board table; the set and upload states use the working record as it stands.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/board_record.h"
#include "protocol/config_core.h"

namespace quorin::testing {

inline void reach_state(ConfigCore& core, OperationState state) {
    switch (state) {
        case OperationState::Idle:
            core.end_exchange();
            return;
        case OperationState::Search:
            core.send_data(OPCODE_SEARCH_REQUEST);
            return;
        case OperationState::Set:
            core.send_data(OPCODE_SET_REQUEST);
            return;
        case OperationState::UploadRequested:
            core.send_data(OPCODE_UPLOAD_REQUEST);
            return;
        case OperationState::UploadReplyReceived:
            reach_state(core, OperationState::UploadRequested);
            core.handle_datagram(kSearchSocketTag, std::vector<std::uint8_t>{OPCODE_UPLOAD_REPLY});
            return;
        case OperationState::UploadCompleteAwaited:
            reach_state(core, OperationState::UploadReplyReceived);
            core.upload_sent_whole();
            return;
        case OperationState::UploadCompleted:
            reach_state(core, OperationState::UploadCompleteAwaited);
            core.handle_datagram(kSearchSocketTag,
                                 std::vector<std::uint8_t>{OPCODE_UPLOAD_COMPLETE});
            return;
    }
}

}  // namespace quorin::testing
