#include "envpath/list_value.h"

namespace qh {

int edit_list_value(Key root, std::string_view subkey, ValueName name, const ListEdit& edit) {
    RegValue value;
    if (reg_read_value_at(value, root, subkey, name) != 0) return 1;
    // A number or binary data is no list; editing it as text would ruin it.
    if (!reg_value_is_text(value)) return 1;
    std::string list = reg_value_text(value);
    if (edit(list) != 0) return 2;
    // Writing a REG_EXPAND_SZ back as REG_SZ would stop %SystemRoot% and the
    // like from expanding.
    return reg_write_text_at(list, value.type, root, subkey, name);
}

}  // namespace qh
