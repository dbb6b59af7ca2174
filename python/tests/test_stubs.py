"""The type stubs list every public function with its parameters, and every field of
every named result, as the package has them."""

import ast
import inspect
import os

import surfkit

STUBS = os.path.join(os.path.dirname(surfkit.__file__), "__init__.pyi")


def _stub_tree():
    with open(STUBS) as f:
        return ast.parse(f.read())


def test_every_named_result_and_its_fields():
    classes = {node.name: node for node in _stub_tree().body if isinstance(node, ast.ClassDef)}
    for name in surfkit.__all__:
        value = getattr(surfkit, name)
        if isinstance(value, type) and issubclass(value, tuple) and hasattr(value, "_fields"):
            assert name in classes, name
            fields = [n.target.id for n in classes[name].body if isinstance(n, ast.AnnAssign)]
            assert fields == list(value._fields), name


def test_every_function_and_its_parameters():
    functions = {node.name: node for node in _stub_tree().body
                 if isinstance(node, ast.FunctionDef)}
    for name in surfkit.__all__:
        value = getattr(surfkit, name)
        if not inspect.isfunction(value):
            continue
        assert name in functions, name
        stub = functions[name].args
        params = inspect.signature(value).parameters.values()
        positional = [p.name for p in params if p.kind == p.POSITIONAL_OR_KEYWORD]
        keyword = [p.name for p in params if p.kind == p.KEYWORD_ONLY]
        assert [a.arg for a in stub.args] == positional, name
        assert [a.arg for a in stub.kwonlyargs] == keyword, name
