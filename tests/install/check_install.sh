#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a small program against it twice: with
# find_package(SVRegistration) and with pkg-config; builds and runs the examples against it; and
# checks that the installed libraries export their public API only.
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S "$source_dir" -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
LD_LIBRARY_PATH="$prefix/lib" "$prefix/consumer/consumer" | grep -qx "rOK 0"
# pkg-config alone gives what the headers need (C++20 included).
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" c++ "$source_dir/consumer.cpp" -o "$prefix/by-pkg-config" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs svregistration)
LD_LIBRARY_PATH="$prefix/lib" "$prefix/by-pkg-config" | grep -qx "rOK 0"
examples=$(cd "$source_dir/../../examples" && pwd)
cmake -S "$examples" -B "$prefix/examples" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/examples" >/dev/null
mkdir -p "$prefix/ws"
printf '       IDENTIFICATION DIVISION.\n' >"$prefix/PAY.cbl"
LD_LIBRARY_PATH="$prefix/lib" "$prefix/examples/memory_host" "$prefix/ws" "$prefix/PAY.cbl" >/dev/null
printf '       PROCEDURE DIVISION.\n' >"$prefix/TAX.cbl"
LD_LIBRARY_PATH="$prefix/lib" "$prefix/examples/workspace_register" "$prefix/shop" "$prefix/PAY.cbl" \
  "$prefix/TAX.cbl" | grep '^refresh .*: rOK, 0 copied$' >/dev/null
[[ -f $prefix/shop/Sources/COBOL/TAX.cbl ]] || { echo "workspace_register made no copy" >&2; exit 1; }
library=$(nm -D -C --defined-only "$prefix"/lib/libsvregistration.so |
          grep -cE ' svregistration::(os|nls|runtime|registration|codepage|archive|resources)::' || true)
public_host='svregistration::workspace::(WorkspaceHost|WorkspaceRepository|RepositoryLog|OptionsDocument|SelectOption|OptionChoices|SetOptionValue|DescribeOption|Batch|PendingWork|RecoverInterruptedWork|RegistrationRun|RegistrationReport|OutcomeName|IsSuccess|RefreshRun|RefreshOutcomeName|LifecycleRun|UnregistrationReport|InvalidationReport|CopyRecipe|RecipeChanges|RecordedRecipe|RecordRecipe|CopyStateName|StatusOf|WorkspaceStatus|UntrackedFiles|RemoveUntrackedFiles|ReadCopyAndForm)\b'
host=$(nm -D -C --defined-only "$prefix"/lib/libsvregistration-workspace.so |
       grep -E ' svregistration::workspace::' | grep -cvE " $public_host" || true)
internals=$((library + host))
# The installed tool runs as installed (no library path set), with its man page and completion.
if [[ -x $prefix/bin/svreg ]]; then
  env -u LD_LIBRARY_PATH "$prefix/bin/svreg" init "$prefix/tool-ws" >/dev/null
  env -u LD_LIBRARY_PATH "$prefix/bin/svreg" register "$prefix/tool-ws" "$prefix/PAY.cbl" "$prefix/TAX.cbl" |
    grep -qx '2 files: 2 registered'
  env -u LD_LIBRARY_PATH "$prefix/bin/svreg" status "$prefix/tool-ws" >/dev/null
  # The PostgreSQL client is loaded only for a workspace on a server, from the module installed
  # beside the workspace library: a refused connection shows the module ran; without the module
  # the error names it and where it was looked for.
  module=$prefix/lib/libsvregistration-workspace-postgres.so
  [[ -f $module ]] || { echo "the PostgreSQL module is not installed" >&2; exit 1; }
  if readelf -d "$prefix/bin/svreg" "$prefix/lib/libsvregistration-workspace.so" | grep -q 'libpq'; then
    echo "svreg or the workspace library links the PostgreSQL client" >&2; exit 1
  fi
  if env -u LD_LIBRARY_PATH LD_DEBUG=files "$prefix/bin/svreg" status "$prefix/tool-ws" 2>&1 |
     grep -qE 'libpq|workspace-postgres'; then
    echo "svreg status of a SQLite workspace loads the PostgreSQL client" >&2; exit 1
  fi
  server='host=/nonexistent-svreg-socket dbname=none'
  refused=$(env -u LD_LIBRARY_PATH "$prefix/bin/svreg" init "$prefix/pg-ws" --repository "$server" 2>&1 || true)
  grep -q 'cannot connect to the workspace database' <<<"$refused" ||
    { echo "svreg init --repository did not reach the PostgreSQL module: $refused" >&2; exit 1; }
  mv "$module" "$module.away"
  missing=$(env -u LD_LIBRARY_PATH "$prefix/bin/svreg" init "$prefix/pg-ws" --repository "$server" 2>&1 || true)
  grep -qF "cannot load the PostgreSQL module '" <<<"$missing" &&
    grep -qF "libsvregistration-workspace-postgres.so: cannot open shared object file" <<<"$missing" ||
    { echo "a missing PostgreSQL module is not reported by its path: $missing" >&2; exit 1; }
  mv "$module.away" "$module"
  [[ -s $prefix/share/man/man1/svreg.1 && -s $prefix/share/bash-completion/completions/svreg ]] ||
    { echo "the man page or the bash completion is not installed" >&2; exit 1; }
fi
[[ $internals -eq 0 ]] || { echo "the installed library exports $internals internal symbols" >&2; exit 1; }
echo "installed package works through find_package and pkg-config; the examples and svreg run; the PostgreSQL module loads on demand; only the public API is exported"
