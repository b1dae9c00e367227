#include "Plugins.h"

#include "FormatModule.h"

QList<Plugins::Plugin> Plugins::collectPlugins(bool) {
  QList<Plugin> plugins;
  for (const corvanta::FormatModule& module : corvanta::formatModules())
    plugins.append(Plugin{module.id, module.display_name, module.extensions});
  return plugins;
}
