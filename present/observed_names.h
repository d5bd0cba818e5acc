// The names of the observed-data statuses, as every face writes them.
#ifndef FOURFIFTHS_PRESENT_OBSERVED_NAMES_H_
#define FOURFIFTHS_PRESENT_OBSERVED_NAMES_H_

#include <array>

#include "fourfifths/observed.h"
#include "present/names.h"

namespace present {

template <>
struct names_of<fourfifths::comparison_status> {
  static constexpr std::array<named<fourfifths::comparison_status>, 8> table{
      {{"compared", fourfifths::comparison_status::compared},
       {"reference", fourfifths::comparison_status::reference},
       {"no_applicants", fourfifths::comparison_status::no_applicants},
       {"no_reference", fourfifths::comparison_status::no_reference},
       {"no_selections", fourfifths::comparison_status::no_selections},
       {"all_selected", fourfifths::comparison_status::all_selected},
       {"reference_rate_zero", fourfifths::comparison_status::reference_rate_zero},
       {"group_rate_zero", fourfifths::comparison_status::group_rate_zero}}};
};

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OBSERVED_NAMES_H_
