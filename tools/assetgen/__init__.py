"""The asset generator's parts, one module for each kind of file it makes
(tools/make_assets.py runs them)."""
