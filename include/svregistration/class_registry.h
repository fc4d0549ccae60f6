// The class registry: creates objects from class names (compared ignoring letter case), as hosts
// name their registration handlers and utility classes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <typeindex>

#include "svregistration/export.h"

namespace svregistration {

class SVREG_API ClassRegistry {
 public:
  /// The process-wide registry.
  static ClassRegistry& Instance();

  /// Registers (or replaces) the factory for a class name. T is the interface callers ask for.
  template <class T>
  void Register(const std::string& class_name, std::function<std::shared_ptr<T>()> factory) {
    RegisterErased(class_name, typeid(T),
                   [f = std::move(factory)]() -> std::shared_ptr<void> { return f(); });
  }

  /// Creates an object of the class; raises Error 429 when the name is unknown or the class does
  /// not provide the interface T.
  template <class T>
  std::shared_ptr<T> Create(const std::string& class_name) const {
    return std::static_pointer_cast<T>(CreateErased(class_name, typeid(T)));
  }

  bool Contains(const std::string& class_name) const;
  void Unregister(const std::string& class_name);

 private:
  void RegisterErased(const std::string& class_name, std::type_index type,
                      std::function<std::shared_ptr<void>()> factory);
  std::shared_ptr<void> CreateErased(const std::string& class_name, std::type_index type) const;
};

}  // namespace svregistration
