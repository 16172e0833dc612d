# The release's time, which the staging step (run/0-stage.cmake) wrote: the zip's and the
# installer's, and SOURCE_DATE_EPOCH of what they run.
file(READ ${WINDOWS_BINARY_DIR}/windows-release-epoch.txt epoch)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
