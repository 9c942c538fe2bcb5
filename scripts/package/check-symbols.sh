#!/usr/bin/env bash
# Checks the dynamic symbol table of the shared library: the public interface is exported
# for every element type, and nothing of the library's namespace beyond it.
#   scripts/package/check-symbols.sh path/to/libnimbrel_tavik_util.so
set -euo pipefail
lib=$1
syms=$(nm -DC --defined-only "$lib" | sed -E 's/^[0-9a-f]+ [A-Za-z] //; s/\[abi:cxx11\]//g' | grep 'nimbrel_tavik_util::' || true)
status=0

require() {
  if ! grep -qF -- "$1" <<<"$syms"; then echo "missing export: $1" >&2; status=1; fi
}
for t in 'int' 'unsigned long' 'std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> > '; do
  for f in solve _solveByGreedy _solveByILP _solveByPropagate _propagateDeg1 _doSelect _undoSelect \
           _undoPropagate _bbSearch solveWithin; do
    require "nimbrel_tavik_util::SetCoverSolver<$t>::$f("
  done
done
require "nimbrel_tavik_util::solveILP("
require "nimbrel_tavik_util::hardwareThreads("
require "nimbrel_tavik_util::resolveThreads("
require "nimbrel_tavik_util::solveWithin(nimbrel_tavik_util::CoverMatrix const&"
require "nimbrel_tavik_util::greedyCover(nimbrel_tavik_util::CoverMatrix const&"
require "nimbrel_tavik_util::Logger::level_"
for f in setLevel levelToString debug info warning error; do require "nimbrel_tavik_util::Logger::$f("; done
for f in Timer::timers_ Timer::Timer Timer::start Timer::stop Timer::getElapsed Timer::printGlobalStats \
         Timer::getGlobalStats Timer::clearGlobalStats rotateByQuat applyOrientationOffset \
         Reader::readJson Reader::saveJson Reader::readYaml Reader::yamlNodeToJson Reader::readYamlToJson; do
  require "nimbrel_tavik_util::$f"
done
for f in Reader::forEachPose PoseStream::next solveStatusName readInstance writeInstance \
         CoverInstance::matrix instanceFormatFromPath; do
  require "nimbrel_tavik_util::$f"
done

# Symbols whose own name lies in our namespace (not std:: instantiations over our types) must
# belong to one of the public families; anything else is an internal leaking out.
own=$(grep -E '^(typeinfo (name )?for |vtable for )?nimbrel_tavik_util::' <<<"$syms" || true)
leaks=$(grep -vE '^(typeinfo (name )?for |vtable for )?nimbrel_tavik_util::(SetCoverSolver<.*>::|solveILP\(|solveWithin\(|hardwareThreads\(|resolveThreads\(|greedyCover\(|Logger::|Timer::|Reader::|rotateByQuat\(|applyOrientationOffset\(|PoseStream::|solveStatusName\(|CoverInstance::|InstanceText::|InstanceError|NoCoverError|read(Instance|InstanceText|OrLibrary|Rail|Steiner|JsonDocument|YamlDocument|Mps|Lp)\(|writeInstance\(|instanceFormat[A-Za-z]*\()' <<<"$own" || true)
if [[ -n "$leaks" ]]; then
  echo "internal symbols exported:" >&2
  echo "$leaks" >&2
  status=1
fi
[[ $status -eq 0 ]] && echo "exports ok: $(wc -l <<<"$own") symbols of the library namespace"
exit $status
