# Makes a document of docs/ into the release bundle's copy. A passage for
# the repository's reader only (how to build and run from the source tree)
# stands between the lines "<!-- repository -->" and "<!-- /repository -->"
# and is dropped; a passage for the bundle's reader only stands inside an
# HTML comment from the line "<!-- bundle" to the line "-->", hidden in the
# repository, and is uncovered.
/^<!-- repository -->$/,/^<!-- \/repository -->$/d
/^<!-- bundle$/,/^-->$/{
/^<!-- bundle$/d
/^-->$/d
}
