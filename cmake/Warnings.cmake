# Warnings for every target of ours, in both builds.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow)
