# Sourced by the scripts: what they share about a build folder.
#
# The program's name is written once, as the CMake project's name in
# CMakeLists.txt; a configured build folder keeps it in its CMakeCache.txt.

# program_name BUILD_DIR: prints the program's name (paper-weather), or
# fails with a line on stderr if BUILD_DIR is not a configured build.
program_name() {
  local name
  name=$(sed -n 's/^CMAKE_PROJECT_NAME:STATIC=//p' "$1/CMakeCache.txt" 2>/dev/null || true)
  if [ -z "$name" ]; then
    echo "$(basename "$0"): $1 is not a configured build folder (no CMakeCache.txt)" >&2
    return 1
  fi
  echo "$name"
}
