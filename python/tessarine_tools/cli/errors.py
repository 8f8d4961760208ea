"""The command line's two kinds of failure, each with its exit status."""


class CliError(Exception):
    """A failure the user can act on: shown as one line, never as a traceback."""

    status = 1


class UsageError(CliError):
    """The command asks for something impossible (bad options, an existing output)."""

    status = 2


class DataError(CliError):
    """The input cannot be read or does not hold a signal."""

    status = 1
