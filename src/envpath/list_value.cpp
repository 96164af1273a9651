#include "envpath/list_value.h"

#include "envpath/env_expand.h"
#include "registry/reg_reason.h"

namespace qh {

int edit_list_value(Key root, std::string_view subkey, ValueName name, const ListEdit& edit,
                    Failure* failure, std::string_view list_name, ListType list_type, bool* written,
                    ChangeSession* session) {
    if (written) *written = false;
    RegValue value;
    const RegResult read = reg_read_value_at(value, root, subkey, name, session);
    if (!read.ok()) return reg_fail(failure, kListNotRead, read, root, subkey, name);
    // A number or binary data is no list; editing it as text would ruin it.
    if (!reg_value_is_text(value)) {
        return fail(failure, kListNotRead,
                    std::string(list_name) + " is " + reg_type_name(value.type) +
                        "; only REG_SZ and REG_EXPAND_SZ values hold path lists");
    }
    const std::string before = reg_value_text(value);
    std::string list = before;
    if (edit(list, list_name, failure) != 0) return kListEditRefused;
    // Writing a REG_EXPAND_SZ back as REG_SZ would stop %SystemRoot% and the
    // like from expanding.
    std::uint32_t type = value.type;
    if (list_type == ListType::expand_references && holds_reference(list))
        type = platform::kRegExpandSz;
    if (list == before && type == value.type) return 0;
    const RegResult write = reg_write_text_at(list, type, root, subkey, name, session);
    if (write.ok()) {
        if (written) *written = true;
        return 0;
    }
    const int code = write.failed == RegStep::key ? kListKeyNotWritten : kListNotWritten;
    return reg_fail(failure, code, write, root, subkey, name);
}

}  // namespace qh
