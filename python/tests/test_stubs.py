"""The type stubs list every public function with its parameters, and every field of
every named result, as the package has them."""

import ast
import inspect
import os

import surfkit

def test_every_function_and_named_result_as_the_package_has_it():
    with open(os.path.join(os.path.dirname(surfkit.__file__), "__init__.pyi")) as f:
        stubs = {node.name: node for node in ast.parse(f.read()).body
                 if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    for name in surfkit.__all__:
        value = getattr(surfkit, name)
        if isinstance(value, type) and issubclass(value, tuple) and hasattr(value, "_fields"):
            assert isinstance(stubs.get(name), ast.ClassDef), name
            fields = [n.target.id for n in stubs[name].body if isinstance(n, ast.AnnAssign)]
            assert fields == list(value._fields), name
        elif inspect.isfunction(value):
            assert isinstance(stubs.get(name), ast.FunctionDef), name
            params = inspect.signature(value).parameters.values()
            stub = stubs[name].args
            assert [a.arg for a in stub.args] == [p.name for p in params
                                                  if p.kind == p.POSITIONAL_OR_KEYWORD], name
            assert [a.arg for a in stub.kwonlyargs] == [p.name for p in params
                                                        if p.kind == p.KEYWORD_ONLY], name
