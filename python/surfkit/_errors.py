"""Exceptions raised by surfkit calls."""


class ArgumentError(ValueError):
    """An argument was rejected. The message names the function, the parameter (as the
    caller wrote it) and the reason.

    Attributes:
        parameter: the name of the rejected parameter.
        code: the C++ return code when the library rejected it (-k names the k-th argument
            of the C++ call), None when the Python layer did.
    """

    def __init__(self, message, code=None, parameter=None):
        super().__init__(message)
        self.code = code
        self.parameter = parameter

    def __reduce__(self):
        return (type(self), (str(self), self.code, self.parameter))
