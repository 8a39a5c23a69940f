// An amount of money in Chinese capital numerals, as printed on receipts
// ("壹佰零壹元整", "元零伍分"). A pure function of the amount's decimal text;
// negative amounts read like positive ones, any text gives some result.
#pragma once

#include <string>
#include <string_view>

namespace nx {

std::string capitalAmount(std::string_view amountText);

}  // namespace nx
