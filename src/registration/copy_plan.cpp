// The copy plan of a call.
#include "registration/copy_plan.h"

#include "os/file_system.h"
#include "svregistration/host/workspace.h"

namespace svregistration::registration {

namespace {

const pugi::xml_document* DocumentOf(const std::shared_ptr<host::OptionsHolder>& holder) {
  return holder ? holder->Document() : nullptr;
}

bool NeedsConversion(const RegistrationSettings& s) {
  return (s.SourceLocale != 0 && s.SourceLocale != s.RegisteredLocale) || s.RemoveLeadNumeration ||
         (s.Numeration && s.RemoveNumeration) || (s.SosiAllowed && s.ConvertSosi) || s.ExpandTabs ||
         s.IsEbcdic;
}

NormaliserOptions NormaliserOptionsOf(const RegistrationSettings& settings) {
  NormaliserOptions options;
  options.expand_tabs = settings.ExpandTabs && !settings.IsEbcdic;
  options.remove_numeration = settings.RemoveNumeration;
  options.remove_lead_numeration = settings.RemoveLeadNumeration;
  options.convert_sosi = settings.ConvertSosi && settings.SosiAllowed && !settings.IsEbcdic;
  options.sosi_removed = settings.SosiRemoved;
  for (std::size_t b = 0; b < 256; ++b) {
    options.lead_byte[b] = settings.IsLeadByte(static_cast<unsigned char>(b));
  }
  return options;
}

}  // namespace

CopyPlan PlanCopy(State& state, host::Workspace& workspace, const std::string& entity_type) {
  auto workspace_options = workspace.WorkspaceOptions();
  auto global_options = workspace.GlobalOptions();
  const pugi::xml_document* workspace_document = DocumentOf(workspace_options);
  const pugi::xml_document* global_document = DocumentOf(global_options);
  state.Settings.Validate(state.Call, {workspace_document, global_document}, true);
  CopyPlan plan;
  if (const RegistrationSettings* kept = state.Settings.Find(entity_type)) {
    plan.settings = *kept;
  } else {
    plan.settings = LoadRegistrationSettings(workspace_document, global_document, entity_type);
    state.Settings.Keep(entity_type, plan.settings);
  }
  plan.convert = NeedsConversion(plan.settings);
  plan.normaliser = NormaliserOptionsOf(plan.settings);
  if (plan.settings.IsEbcdic) {
    plan.table_file = os::JoinHostPath(workspace.GetSolvaneName(host::kCodePageTableDirectory),
                                       plan.settings.EncodingTable);
  }
  return plan;
}

}  // namespace svregistration::registration
