"""Exceptions raised by surfkit calls."""


class ArgumentError(ValueError):
    """An argument was rejected.

    Attributes:
        code: the C++ return code (-k names the k-th argument of the C++ call).
        parameter: the name of the rejected parameter.
    """

    def __init__(self, message, code, parameter):
        super().__init__(message)
        self.code = code
        self.parameter = parameter

    def __reduce__(self):
        return (type(self), (str(self), self.code, self.parameter))
