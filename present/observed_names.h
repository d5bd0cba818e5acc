// The names of the observed-data statuses, as every face writes them.
#ifndef FOURFIFTHS_PRESENT_OBSERVED_NAMES_H_
#define FOURFIFTHS_PRESENT_OBSERVED_NAMES_H_

#include <array>

#include "fourfifths/observed.h"
#include "present/names.h"

namespace present {

template <>
struct names_of<fourfifths::comparison_status> {
  static constexpr std::array<named<fourfifths::comparison_status>, 9> table{
      {{"compared", fourfifths::comparison_status::compared},
       {"reference", fourfifths::comparison_status::reference},
       {"no_applicants", fourfifths::comparison_status::no_applicants},
       {"no_reference", fourfifths::comparison_status::no_reference},
       {"no_selections", fourfifths::comparison_status::no_selections},
       {"all_selected", fourfifths::comparison_status::all_selected},
       {"reference_rate_zero", fourfifths::comparison_status::reference_rate_zero},
       {"group_rate_zero", fourfifths::comparison_status::group_rate_zero},
       {"no_shared_unit", fourfifths::comparison_status::no_shared_unit}}};
};

template <>
struct names_of<fourfifths::one_person_note> {
  static constexpr std::array<named<fourfifths::one_person_note>, 4> table{
      {{"", fourfifths::one_person_note::none},
       {"group_selected_no_one", fourfifths::one_person_note::group_selected_no_one},
       {"reference_selected_everyone", fourfifths::one_person_note::reference_selected_everyone},
       {"rate_not_lower", fourfifths::one_person_note::rate_not_lower}}};
};

template <>
struct names_of<fourfifths::mh_status> {
  static constexpr std::array<named<fourfifths::mh_status>, 3> table{
      {{"tested", fourfifths::mh_status::tested},
       {"no_shared_unit", fourfifths::mh_status::no_shared_unit},
       {"no_variation", fourfifths::mh_status::no_variation}}};
};

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OBSERVED_NAMES_H_
