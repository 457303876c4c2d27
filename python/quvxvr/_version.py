# Generated from the project version in CMakeLists.txt by cmake/GenerateTables.cmake; do not edit.
__version__ = "1.0.0"
