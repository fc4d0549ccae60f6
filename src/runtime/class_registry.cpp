// The class registry: factories by case-insensitive class name, for handlers and host utilities.
#include "svregistration/class_registry.h"

#include <map>
#include <mutex>

#include "nls/text.h"
#include "svregistration/error.h"

namespace svregistration {

namespace {

struct Entry {
  std::type_index type;
  std::function<std::shared_ptr<void>()> factory;
};

struct Registry {
  std::mutex mutex;
  std::map<std::string, Entry> entries;  // keyed by the lower-case class name
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

Error CannotCreate(const std::string& class_name, const std::string& why) {
  return Error(error_number::kCannotCreateObject, "ClassRegistry",
               "cannot create an object of class '" + class_name + "': " + why);
}

}  // namespace

ClassRegistry& ClassRegistry::Instance() {
  static ClassRegistry instance;
  return instance;
}

void ClassRegistry::RegisterErased(const std::string& class_name, std::type_index type,
                                   std::function<std::shared_ptr<void>()> factory) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.entries.insert_or_assign(nls::ToLower(class_name), Entry{type, std::move(factory)});
}

std::shared_ptr<void> ClassRegistry::CreateErased(const std::string& class_name,
                                                  std::type_index type) const {
  std::function<std::shared_ptr<void>()> factory;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.entries.find(nls::ToLower(class_name));
    if (it == registry.entries.end()) throw CannotCreate(class_name, "no such class is registered");
    if (it->second.type != type) {
      throw CannotCreate(class_name, "the class does not provide the interface asked for");
    }
    factory = it->second.factory;
  }
  std::shared_ptr<void> object = factory();
  if (!object) throw CannotCreate(class_name, "its factory gave no object");
  return object;
}

bool ClassRegistry::Contains(const std::string& class_name) const {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.entries.count(nls::ToLower(class_name)) != 0;
}

void ClassRegistry::Unregister(const std::string& class_name) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.entries.erase(nls::ToLower(class_name));
}

}  // namespace svregistration
