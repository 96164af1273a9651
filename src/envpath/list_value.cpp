#include "envpath/list_value.h"

#include "registry/reg_reason.h"

namespace qh {

int edit_list_value(Key root, std::string_view subkey, ValueName name, const ListEdit& edit,
                    Failure* failure, std::string_view list_name) {
    RegValue value;
    long status;
    const int read = reg_read_value_at(value, root, subkey, name, &status);
    if (read == 1) return fail(failure, 1, reg_key_reason(root, subkey, status), status);
    if (read != 0) return fail(failure, 1, reg_value_reason(root, subkey, name, status), status);
    // A number or binary data is no list; editing it as text would ruin it.
    if (!reg_value_is_text(value)) {
        return fail(failure, 1,
                    std::string(list_name) + " is " + reg_type_name(value.type) +
                        "; only REG_SZ and REG_EXPAND_SZ values hold path lists");
    }
    std::string list = reg_value_text(value);
    if (edit(list) != 0) return 2;
    // Writing a REG_EXPAND_SZ back as REG_SZ would stop %SystemRoot% and the
    // like from expanding.
    const int write = reg_write_text_at(list, value.type, root, subkey, name, &status);
    if (write == 1) return fail(failure, 1, reg_key_reason(root, subkey, status), status);
    if (write != 0)
        return fail(failure, write, reg_value_reason(root, subkey, name, status), status);
    return 0;
}

}  // namespace qh
