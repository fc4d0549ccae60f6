// The copy plan of a call.
#include "registration/copy_plan.h"

#include "os/file_system.h"
#include "svregistration/host/workspace.h"

namespace svregistration::registration {

namespace {

const pugi::xml_document* DocumentOf(const std::shared_ptr<host::OptionsHolder>& holder) {
  return holder ? holder->View() : nullptr;
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
  // A single-byte code page has no lead bytes: the table stays all false.
  for (std::size_t b = 0; settings.IsDbcs && b < 256; ++b) {
    options.lead_byte[b] = settings.IsLeadByte(static_cast<unsigned char>(b));
  }
  return options;
}

}  // namespace

CopyPlan PlanCopy(State& state, const std::shared_ptr<host::Workspace>& host,
                  const std::string& entity_type) {
  host::Workspace& workspace = *host;
  // Taken from the host only when they are read: a host that counts its revisions is not asked
  // for them while the count stays.
  std::shared_ptr<host::OptionsHolder> workspace_options;
  std::shared_ptr<host::OptionsHolder> global_options;
  auto read = [&]() -> OptionsDocuments {
    if (!workspace_options) workspace_options = workspace.WorkspaceOptions();
    if (!global_options) global_options = workspace.GlobalOptions();
    return {DocumentOf(workspace_options), DocumentOf(global_options)};
  };
  state.settings.Validate(state.call, host, read, true);
  CopyPlan plan;
  if (const RegistrationSettings* kept = state.settings.Find(entity_type)) {
    plan.settings = *kept;
  } else {
    const OptionsDocuments documents = read();
    plan.settings = LoadRegistrationSettings(documents[0], documents[1], entity_type);
    state.settings.Keep(entity_type, plan.settings);
  }
  plan.convert = NeedsConversion(plan.settings);
  plan.normaliser = NormaliserOptionsOf(plan.settings);
  if (plan.settings.IsEbcdic) {
    plan.table_file = os::JoinHostPath(workspace.GetSolvaneName(host::kCodePageTableDirectory),
                                       plan.settings.EncodingTable);
  }
  return plan;
}

CopyPlan PlanCopy(State& state, host::Workspace& workspace, const std::string& entity_type) {
  if (&workspace == state.Workspace.get()) return PlanCopy(state, state.Workspace, entity_type);
  // A host known by reference only cannot be told from another at the same address later: its
  // documents are compared.
  return PlanCopy(state, std::shared_ptr<host::Workspace>(&workspace, [](host::Workspace*) {}),
                  entity_type);
}

}  // namespace svregistration::registration
