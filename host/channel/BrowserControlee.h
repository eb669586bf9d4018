#pragma once

// The host's command dispatcher: owns the channel, turns each command record into one call
// of the browser's IBrowserControleeConsumer, answers the three queries, and passes frames
// and event texts from the browser on to the channel.

#include "CommandRecord.h"
#include "IBrowserControleeConsumer.h"
#include "IChannelControlConsumer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CChannelControl;

class CBrowserControlee : public IChannelControlConsumer {
public:
    CBrowserControlee(int32_t processId, int32_t index, IBrowserControleeConsumer* consumer);
    ~CBrowserControlee() override;

    CBrowserControlee(const CBrowserControlee&) = delete;
    CBrowserControlee& operator=(const CBrowserControlee&) = delete;

    // Replaces any earlier channel with a new one in the client role; true when it opened.
    bool Start();
    void Stop();

    void SendFrame(int32_t width, int32_t height, const void* pixels, uint32_t byteCount);
    void SendBrowserEvent(std::wstring text);

    // Null detaches the browser: every later command is ignored. Safe from any thread.
    void SetConsumer(IBrowserControleeConsumer* consumer);

    void OnChannelData(unsigned char* record, int32_t length) override;

private:
    void Dispatch(IBrowserControleeConsumer& consumer, const NsChannel::Command& command);
    void SendReply(const NsChannel::ReplyRecord& reply);

    std::atomic<IBrowserControleeConsumer*> m_consumer;
    std::unique_ptr<CChannelControl> m_channel;
    int32_t m_processId;
    int32_t m_index;
};
