// The fakes, watched: the dialog tells when a search starts and when the
// list is published and runs the question's modal loop, the timers can
// refuse, and the connection checks what it is asked.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "DialogSurface.h"
#include "FakeDialog.h"
#include "FakeTcp.h"
#include "FakeTimers.h"
#include "FuzzCheck.h"
#include "ResourceIds.h"
#include "protocol/Protocol.h"
#include "workflow/FirmwareTransfer.h"

// The list box and the status text, watched: the start of a search shows
// message 4, and only a publication empties the list box.
class WatchedDialog : public FakeDialog {
public:
    void SetControlText(int controlId, const char* text) override {
        FakeDialog::SetControlText(controlId, text);
        if (controlId == IDC_INFO_TEXT && text == searchingText) lastSearchStart = ++sequence;
    }
    void ResetDeviceLines() override {
        FakeDialog::ResetDeviceLines();
        lastPublication = ++sequence;
        ++publications;
    }
    bool AskYesNo(const char* text, const char* caption) override {
        CHECK(std::strlen(text) < STATUS_TEXT_SIZE);
        CHECK(std::strlen(caption) < CAPTION_SIZE);
        questions.emplace_back(text, caption);
        return onQuestion();
    }

    bool Searching() const { return lastSearchStart > lastPublication; }

    const std::string searchingText = CatalogueText(MSG_SEARCHING);
    std::function<bool()> onQuestion;  // the modal loop: other events run meanwhile
    unsigned sequence = 0, lastSearchStart = 0, lastPublication = 0;
    unsigned publications = 0;
};

// Timers whose next starts can be refused, counting the refusals.
class RefusingTimers : public FakeTimers {
public:
    TimerId StartTimer(unsigned number, unsigned intervalMs) override {
        if (refuseNext > 0) {
            --refuseNext;
            ++(number == TICK_TIMER_NUMBER ? tickRefusals : transferRefusals);
            return 0;
        }
        return FakeTimers::StartTimer(number, intervalMs);
    }

    int refuseNext = 0;
    unsigned tickRefusals = 0, transferRefusals = 0;
};

// A connection that checks what it is asked: one at a time, bytes only
// while open, each connection's stream a prefix of the image, and the
// sending direction shut down only after the whole image.
class CheckedTcp : public FakeTcp {
public:
    explicit CheckedTcp(const std::vector<std::uint8_t>& image) : image_(image) {}

    bool Create() override {
        CHECK(!open);  // never two connections, never a lost handle
        if (!FakeTcp::Create()) return false;
        streamStart_ = received.size();
        return true;
    }
    int Connect(std::uint32_t ipAddress, std::uint16_t port) override {
        CHECK(open);
        CHECK(port == ROUTER_PORT);
        return FakeTcp::Connect(ipAddress, port);
    }
    int Send(const std::uint8_t* data, int length) override {
        CHECK(open);
        CHECK(length > 0 && length <= static_cast<int>(TRANSFER_BLOCK_SIZE));
        const int taken = FakeTcp::Send(data, length);
        CHECK(Sent() <= image_.size());
        CHECK(std::equal(received.begin() + static_cast<std::ptrdiff_t>(streamStart_), received.end(), image_.begin()));
        return taken;
    }
    void ShutdownSending() override {
        CHECK(open);
        CHECK(Sent() == image_.size());
        FakeTcp::ShutdownSending();
    }

private:
    std::size_t Sent() const { return received.size() - streamStart_; }

    const std::vector<std::uint8_t>& image_;
    std::size_t streamStart_ = 0;
};
