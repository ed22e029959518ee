#include "ImapProbe.h"

#include <libetpan/libetpan.h>

#include <algorithm>
#include <ctime>
#include <stdexcept>

namespace brindle::test {
namespace {

std::string FlagText(const mailimap_flag* flag) {
    switch (flag->fl_type) {
        case MAILIMAP_FLAG_ANSWERED: return "\\Answered";
        case MAILIMAP_FLAG_FLAGGED: return "\\Flagged";
        case MAILIMAP_FLAG_DELETED: return "\\Deleted";
        case MAILIMAP_FLAG_SEEN: return "\\Seen";
        case MAILIMAP_FLAG_DRAFT: return "\\Draft";
        case MAILIMAP_FLAG_KEYWORD: return flag->fl_data.fl_keyword;
        case MAILIMAP_FLAG_EXTENSION: return std::string("\\") + flag->fl_data.fl_extension;
        default: return "?";
    }
}

int64_t Seconds(const mailimap_date_time* date) {
    std::tm parts{};
    parts.tm_year = date->dt_year - 1900;
    parts.tm_mon = date->dt_month - 1;
    parts.tm_mday = date->dt_day;
    parts.tm_hour = date->dt_hour;
    parts.tm_min = date->dt_min;
    parts.tm_sec = date->dt_sec;
    const int zone = date->dt_zone;
    const int sign = zone < 0 ? -1 : 1;
    const int magnitude = sign * zone;
    return static_cast<int64_t>(timegm(&parts)) - sign * (magnitude / 100 * 3600 + magnitude % 100 * 60);
}

std::vector<TProbedMailbox> ListedMailboxes(clist* result) {
    std::vector<TProbedMailbox> mailboxes;
    for (clistiter* it = result ? clist_begin(result) : nullptr; it; it = clist_next(it)) {
        const mailimap_mailbox_list* entry = static_cast<mailimap_mailbox_list*>(clist_content(it));
        mailboxes.push_back({entry->mb_name, entry->mb_delimiter});
    }
    if (result) mailimap_list_result_free(result);
    return mailboxes;
}

}  // namespace

TImapProbe::TImapProbe(uint16_t port, const std::string& user, const std::string& password)
    : session_(mailimap_new(0, nullptr)) {
    mailimap_set_timeout(session_, 30);
    int result = mailimap_socket_connect(session_, "127.0.0.1", port);
    if (result != MAILIMAP_NO_ERROR_NON_AUTHENTICATED && result != MAILIMAP_NO_ERROR) {
        mailimap_free(session_);
        throw std::runtime_error("probe: no connection");
    }
    if (mailimap_login(session_, user.c_str(), password.c_str()) != MAILIMAP_NO_ERROR) {
        mailimap_free(session_);
        throw std::runtime_error("probe: login refused");
    }
}

TImapProbe::~TImapProbe() {
    mailimap_logout(session_);
    mailimap_free(session_);
}

std::vector<TProbedMailbox> TImapProbe::Mailboxes() {
    clist* result = nullptr;
    if (mailimap_list(session_, "", "*", &result) != MAILIMAP_NO_ERROR) throw std::runtime_error("probe: LIST");
    return ListedMailboxes(result);
}

std::vector<std::string> TImapProbe::Subscribed() {
    clist* result = nullptr;
    if (mailimap_lsub(session_, "", "*", &result) != MAILIMAP_NO_ERROR) throw std::runtime_error("probe: LSUB");
    std::vector<std::string> names;
    for (const TProbedMailbox& mailbox : ListedMailboxes(result)) names.push_back(mailbox.Name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<TProbedMessage> TImapProbe::Messages(const std::string& mailbox) {
    if (mailimap_examine(session_, mailbox.c_str()) != MAILIMAP_NO_ERROR)
        throw std::runtime_error("probe: EXAMINE " + mailbox);
    if (session_->imap_selection_info->sel_exists == 0) return {};
    mailimap_set* all = mailimap_set_new_interval(1, 0);
    mailimap_fetch_type* type = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_flags());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_internaldate());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_body_peek_section(mailimap_section_new(nullptr)));
    clist* result = nullptr;
    const int code = mailimap_fetch(session_, all, type, &result);
    mailimap_fetch_type_free(type);
    mailimap_set_free(all);
    if (code != MAILIMAP_NO_ERROR) throw std::runtime_error("probe: FETCH");
    std::vector<TProbedMessage> messages;
    for (clistiter* it = clist_begin(result); it; it = clist_next(it)) {
        const mailimap_msg_att* att = static_cast<mailimap_msg_att*>(clist_content(it));
        TProbedMessage message;
        for (clistiter* a = clist_begin(att->att_list); a; a = clist_next(a)) {
            const mailimap_msg_att_item* item = static_cast<mailimap_msg_att_item*>(clist_content(a));
            if (item->att_type == MAILIMAP_MSG_ATT_ITEM_DYNAMIC && item->att_data.att_dyn->att_list) {
                for (clistiter* f = clist_begin(item->att_data.att_dyn->att_list); f; f = clist_next(f)) {
                    const mailimap_flag_fetch* flag = static_cast<mailimap_flag_fetch*>(clist_content(f));
                    if (flag->fl_type == MAILIMAP_FLAG_FETCH_OTHER) message.Flags.push_back(FlagText(flag->fl_flag));
                }
                continue;
            }
            if (item->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC) continue;
            const mailimap_msg_att_static* value = item->att_data.att_static;
            if (value->att_type == MAILIMAP_MSG_ATT_UID) message.Uid = value->att_data.att_uid;
            if (value->att_type == MAILIMAP_MSG_ATT_INTERNALDATE)
                message.InternalDate = Seconds(value->att_data.att_internal_date);
            if (value->att_type == MAILIMAP_MSG_ATT_BODY_SECTION && value->att_data.att_body_section->sec_body_part)
                message.Text.assign(value->att_data.att_body_section->sec_body_part,
                                    value->att_data.att_body_section->sec_length);
        }
        std::sort(message.Flags.begin(), message.Flags.end());
        messages.push_back(std::move(message));
    }
    mailimap_fetch_list_free(result);
    return messages;
}

}  // namespace brindle::test
