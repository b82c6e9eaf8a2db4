// The issuing station's plans, their run, the card read-out and opening the reader.
#include "card/issue/issuing.h"

#include <cstdio>
#include <cstring>

#include "ZUKcntrl.h"
#include "card/card_status.h"
#include "card/last_status.h"
#include "card/felica.h"
#include "card/reader_mutex.h"
#include "card/sensing.h"
#include "card/session.h"
#include "platform/mutex.h"
#include "settings/config.h"

namespace {

struct TextItem {
    CardField field;
    int item;
};

// The text items a description writes, in writing order (the PIN control block after the PIN).
constexpr TextItem kTextItems[] = {
    {FIELD_ACCOUNT, CARD_ITEM_ACCOUNT},
    {FIELD_PASSWORD, CARD_ITEM_PASSWORD},
    {FIELD_PIN, CARD_ITEM_PIN},
    {FIELD_USER_NAME, CARD_ITEM_USER_NAME},
    {FIELD_USER_OPTION, CARD_ITEM_USER_OPTION},
    {FIELD_ADMIN_OPTION, CARD_ITEM_ADMIN_OPTION},
};
constexpr char kControlName[] = "pin_control";
constexpr int kPinSize = 16;
constexpr char kDefaultDevice[] = "PR300";
constexpr char kDefaultSystemCode[] = "8165";

IssueWrite *NewWrite(IssuePlan *plan, int item, const char *name) {
    IssueWrite *w = &plan->writes[plan->count++];
    std::memset(w, 0, sizeof *w);
    w->item = item;
    std::snprintf(w->name, sizeof w->name, "%s", name);
    w->limit = ISSUE_KEEP;
    w->count = ISSUE_KEEP;
    return w;
}

bool AddText(IssuePlan *plan, int item, const char *name, const std::string &text,
             std::string *error) {
    const int size = CardItemSize(item);
    if (text.size() > static_cast<std::size_t>(size)) {
        *error = std::string(name) + " is " + std::to_string(text.size()) +
                 " bytes; the card holds at most " + std::to_string(size);
        return false;
    }
    if (text.find('\0') != std::string::npos) {
        *error = std::string(name) + " holds a zero byte, which would end it on the card";
        return false;
    }
    IssueWrite *w = NewWrite(plan, item, name);
    std::memcpy(w->data, text.data(), text.size());
    w->length = static_cast<int>(text.size());
    return true;
}

void AddControl(IssuePlan *plan, int limit, int count) {
    IssueWrite *w = NewWrite(plan, CARD_ITEM_PIN_CONTROL, kControlName);
    w->control = true;
    w->limit = limit;
    w->count = count;
}

bool ByteInRange(int value, const char *name, std::string *error) {
    if (value >= 0 && value <= 255) return true;
    *error = std::string(name) + " is " + std::to_string(value) + "; it must be 0 to 255";
    return false;
}

// The bytes an item should read back as: the planned bytes, zero-padded.  The PIN control block's
// bytes come from `current` (the block as the card has it) with bytes 0 and 1 replaced.
void TargetBytes(const IssueWrite &w, const std::uint8_t *current, std::uint8_t *out) {
    std::memset(out, 0, CARD_MAX_ITEM_SIZE);
    if (!w.control) {
        std::memcpy(out, w.data, static_cast<std::size_t>(w.length));
        return;
    }
    std::memcpy(out, current, FELICA_BLOCK_SIZE);
    if (w.limit != ISSUE_KEEP) out[0] = static_cast<std::uint8_t>(w.limit);
    if (w.count != ISSUE_KEEP) out[1] = static_cast<std::uint8_t>(w.count);
}

// Whether writing `target` over `current` loses data: a byte the card holds that is neither zero
// nor already the byte to be written.  An empty item, the same data, and an item a run stopped
// part-way through (its first blocks new, the rest still zero) lose nothing.
bool Loses(const std::uint8_t *current, const std::uint8_t *target, int length) {
    for (int i = 0; i < length; ++i) {
        if (current[i] != 0 && current[i] != target[i]) return true;
    }
    return false;
}

std::string TextBefore0(const std::uint8_t *data, int length) {
    int n = 0;
    while (n < length && data[n] != 0) ++n;
    return std::string(reinterpret_cast<const char *>(data), static_cast<std::size_t>(n));
}

void Fail(IssueWrite *w, IssueState state, std::int32_t result) {
    w->state = state;
    w->result = result;
    w->lowStatus = result != 0 ? GetLastCardStatus() : 0;
}

}  // namespace

bool IssuePlanDescription(const CardDescription &d, IssuePlan *plan, std::string *error) {
    plan->count = 0;
    for (const TextItem &t : kTextItems) {
        if (!d.set[t.field]) continue;
        const std::string &text = *CardTextField(&d, t.field);  // every kTextItems field is text
        if (!AddText(plan, t.item, CardFieldName(t.field), text, error)) return false;
    }
    const bool limit = d.set[FIELD_RETRY_LIMIT], count = d.set[FIELD_FAILURE_COUNT];
    if (limit && !ByteInRange(d.retryLimit, "retry_limit", error)) return false;
    if (count && !ByteInRange(d.failureCount, "failure_count", error)) return false;
    if (limit || count)
        AddControl(plan, limit ? d.retryLimit : ISSUE_KEEP, count ? d.failureCount : ISSUE_KEEP);
    return true;
}

void IssuePlanErase(IssuePlan *plan) {
    plan->count = 0;
    for (int item = 0; item <= CARD_ITEM_LAST; ++item) {
        if (item == CARD_ITEM_PIN_CONTROL_READ) continue;  // the same block as the next item
        const char *name = nullptr;
        for (const TextItem &t : kTextItems) {
            if (t.item == item) name = CardFieldName(t.field);
        }
        char numbered[24];
        std::snprintf(numbered, sizeof numbered, "item %d", item);
        if (item == CARD_ITEM_PIN_CONTROL) name = kControlName;
        NewWrite(plan, item, name != nullptr ? name : numbered);
    }
}

bool IssuePlanPin(const std::string &pin, IssuePlan *plan, std::string *error) {
    plan->count = 0;
    if (pin.size() > static_cast<std::size_t>(kPinSize)) {
        *error = "pin is " + std::to_string(pin.size()) + " bytes; the card holds at most 16";
        return false;
    }
    return AddText(plan, CARD_ITEM_PIN, CardFieldName(FIELD_PIN), pin, error);
}

void IssuePlanUnlock(IssuePlan *plan) {
    plan->count = 0;
    AddControl(plan, ISSUE_KEEP, 0);
}

bool IssuePlanLimit(int limit, IssuePlan *plan, std::string *error) {
    plan->count = 0;
    if (!ByteInRange(limit, "retry_limit", error)) return false;
    AddControl(plan, limit, ISSUE_KEEP);
    return true;
}

std::int32_t IssueFindOverwrites(const IssuePlan &plan, std::string *names) {
    names->clear();
    for (int i = 0; i < plan.count; ++i) {
        const IssueWrite &w = plan.writes[i];
        std::uint8_t current[CARD_MAX_ITEM_SIZE] = {0};
        std::uint8_t target[CARD_MAX_ITEM_SIZE];
        int length = 0;
        const std::int32_t result =
            CardStatusResult(CardReadWholeItem(w.item, current, sizeof current, &length));
        if (result != 0) return result;
        TargetBytes(w, current, target);
        if (!Loses(current, target, length)) continue;
        if (!names->empty()) *names += ", ";
        *names += w.name;
    }
    return 0;
}

std::int32_t IssueRun(IssuePlan *plan) {
    for (int i = 0; i < plan->count; ++i) {
        IssueWrite &w = plan->writes[i];
        w.state = ISSUE_NOT_WRITTEN;
        w.result = 0;
        w.lowStatus = 0;
    }
    for (int i = 0; i < plan->count; ++i) {
        IssueWrite &w = plan->writes[i];
        std::uint8_t current[CARD_MAX_ITEM_SIZE] = {0};
        std::uint8_t target[CARD_MAX_ITEM_SIZE];
        const int size = CardItemSize(w.item);
        int length = 0;
        std::int32_t result = 0;
        if (w.control)
            result = CardStatusResult(CardReadWholeItem(w.item, current, sizeof current, &length));
        TargetBytes(w, current, target);
        bool keyRefused = false;
        if (result == 0) {
            const CardStatus written = CardWriteWholeItem(w.item, target, size);
            keyRefused = CardWriteKeyRefused(written);
            result = CardStatusResult(written);
        }
        if (result != 0) {
            Fail(&w, keyRefused ? ISSUE_KEY_REFUSED : ISSUE_WRITE_FAILED, result);
            return result;
        }
        std::memset(current, 0, sizeof current);
        result = CardStatusResult(CardReadWholeItem(w.item, current, sizeof current, &length));
        if (result != 0) {
            Fail(&w, ISSUE_READ_BACK_FAILED, result);
            return result;
        }
        const bool same = std::memcmp(current, target, static_cast<std::size_t>(size)) == 0;
        std::memset(current, 0, sizeof current);
        std::memset(target, 0, sizeof target);
        if (!same) {
            w.state = ISSUE_DIFFERS;
            w.result = ZUK_ERR_UNEXPECTED;
            return ZUK_ERR_UNEXPECTED;
        }
        w.state = ISSUE_VERIFIED;
    }
    return 0;
}

std::int32_t IssueReadCard(CardDescription *out) {
    *out = CardDescription();
    std::uint8_t data[CARD_MAX_ITEM_SIZE];
    int length = 0;
    for (const TextItem &t : kTextItems) {
        std::memset(data, 0, sizeof data);
        const std::int32_t result =
            CardStatusResult(CardReadWholeItem(t.item, data, sizeof data, &length));
        if (result != 0) return result;
        const std::string text = TextBefore0(data, length);
        if (std::string *field = CardTextField(out, t.field)) *field = text;
    }
    std::memset(data, 0, sizeof data);
    std::int32_t result =
        CardStatusResult(CardReadWholeItem(CARD_ITEM_PIN_CONTROL_READ, data, sizeof data, &length));
    if (result != 0) return result;
    out->retryLimit = data[0];
    out->failureCount = data[1];
    int idmLength = 8, pmmLength = 8;
    result = CardStatusResult(CardGetIdm(out->idm, &idmLength, out->pmm, &pmmLength));
    if (result != 0) return result;
    for (bool &field : out->set) field = true;
    const std::uint8_t *codes = nullptr;
    if (GetSystemCodes(&codes) == 1) {
        std::memcpy(out->systemCode, codes, 2);
    } else {
        out->set[FIELD_SYSTEM_CODE] = false;  // which of the codes found the card is not known
    }
    return 0;
}

IssueOpenStatus IssueTakeReader(const char *port, bool wait, IssueStation *station) {
    std::memset(station, 0, sizeof *station);
    const PlatHandle mutex = PlatMutexCreate(ZUK_PORT_MUTEX_NAME);
    if (mutex == 0) return ISSUE_NO_MUTEX;
    // An abandoned mutex (its owner ended without releasing it) is this process's now.
    const std::uint32_t got =
        wait ? PlatMutexWait(mutex, PLAT_WAIT_FOREVER) : PlatMutexTryWait(mutex);
    if (got != PLAT_WAIT_OBJECT_0 && got != PLAT_WAIT_ABANDONED) {
        PlatHandleClose(mutex);
        return got == PLAT_WAIT_TIMEOUT ? ISSUE_READER_HELD : ISSUE_NO_MUTEX;
    }
    station->mutex = mutex;

    // The library's own settings, so the station finds the reader and the card as it does.
    ResetSettings();
    if (LoadRegistryConfig() == kRegistryConfigOk) {
        LoadIniSettings(GetInstallPath());
    } else {
        ResetSettings();
        LibrarySettings *s = MutableSettings();
        std::snprintf(s->DeviceName, sizeof s->DeviceName, "%s", kDefaultDevice);
        ParseSystemCodes(kDefaultSystemCode, s);
    }
    if (port != nullptr && port[0] != '\0') {
        // A bare COMn goes through the device namespace, which also reaches COM10 and above.
        const bool bare = std::strncmp(port, "\\\\", 2) != 0;
        std::snprintf(station->port, sizeof station->port, "%s%s", bare ? "\\\\.\\" : "", port);
    } else {
        std::snprintf(station->port, sizeof station->port, "%s", GetPortName());
    }
    return ISSUE_OPENED;
}

IssueOpenStatus IssueOpenStation(const char *port, bool wait,
                                 const std::uint8_t keyTable[CARD_KEY_TABLE_SIZE],
                                 IssueStation *station) {
    IssueOpenStatus status = IssueTakeReader(port, wait, station);
    if (status != ISSUE_OPENED) return status;
    station->result = CardStatusResult(
        CardOpenSession(GetDeviceName(), station->port[0] ? station->port : nullptr));
    if (station->result != 0) {
        status = ISSUE_OPEN_FAILED;
    } else {
        station->sessionOpen = true;
        station->result = CardStatusResult(CardLoadKeyTable(keyTable));
        if (station->result != 0) status = ISSUE_KEYS_REFUSED;
    }
    if (status == ISSUE_OPENED) {
        const std::uint8_t *codes = nullptr;
        const std::int32_t count = GetSystemCodes(&codes);
        int present = 0;
        station->result = CardStatusResult(CardSense(&present, codes, count));
        if (station->result != 0) status = ISSUE_SENSE_FAILED;
        else if (!present) status = ISSUE_NO_CARD;
    }
    if (status != ISSUE_OPENED) {
        station->lowStatus = GetLastCardStatus();
        IssueCloseStation(station);
    }
    return status;
}

void IssueCloseStation(IssueStation *station) {
    if (station->sessionOpen) (void)CardCloseSession();
    station->sessionOpen = false;
    if (station->mutex != 0) {
        PlatMutexRelease(station->mutex);
        PlatHandleClose(station->mutex);
    }
    station->mutex = 0;
}
