#include "envpath/list_value.h"

#include "registry/reg_reason.h"

namespace qh {

int edit_list_value(Key root, std::string_view subkey, ValueName name, const ListEdit& edit,
                    Failure* failure, std::string_view list_name) {
    RegValue value;
    const RegResult read = reg_read_value_at(value, root, subkey, name);
    if (!read.ok()) return reg_fail(failure, kListNotRead, read, root, subkey, name);
    // A number or binary data is no list; editing it as text would ruin it.
    if (!reg_value_is_text(value)) {
        return fail(failure, kListNotRead,
                    std::string(list_name) + " is " + reg_type_name(value.type) +
                        "; only REG_SZ and REG_EXPAND_SZ values hold path lists");
    }
    std::string list = reg_value_text(value);
    if (edit(list, list_name, failure) != 0) return kListEditRefused;
    // Writing a REG_EXPAND_SZ back as REG_SZ would stop %SystemRoot% and the
    // like from expanding.
    const RegResult write = reg_write_text_at(list, value.type, root, subkey, name);
    if (write.ok()) return 0;
    const int code = write.failed == RegStep::key ? kListKeyNotWritten : kListNotWritten;
    return reg_fail(failure, code, write, root, subkey, name);
}

}  // namespace qh
