// ESLint for the editor page's scripts (resources/js). Run from the repository root by `make lint`
// (with --config, the file patterns below are relative to the directory it runs in); the packages
// come from this folder's package-lock.json, like the page tests' own.
import js from '@eslint/js';
import globals from 'globals';

// Faults the recommended set leaves through.
const faults = {
  'no-unused-vars': ['error', { args: 'after-used', caughtErrors: 'none' }],
  eqeqeq: ['error', 'smart'],
  'no-implicit-globals': 'error',
  'no-shadow-restricted-names': 'error',
  'no-self-compare': 'error',
  'no-template-curly-in-string': 'error',
  'no-unmodified-loop-condition': 'error',
  'no-unreachable-loop': 'error',
  'no-promise-executor-return': 'error',
  'array-callback-return': 'error',
  'no-constructor-return': 'error',
  'no-implied-eval': 'error',
  'no-new-func': 'error',
  'no-eval': 'error',
  'no-script-url': 'error',
  'no-use-before-define': ['error', { functions: false, classes: true, variables: true }],
  // What the native side or a web page sends is shown as text, never parsed as HTML.
  'no-restricted-properties': ['error',
    { property: 'innerHTML', message: 'Set textContent or build elements instead.' },
    { property: 'outerHTML', message: 'Set textContent or build elements instead.' },
    { property: 'insertAdjacentHTML', message: 'Build elements instead.' },
    { object: 'document', property: 'write', message: 'Build elements instead.' }],
};

export default [
  { files: ['resources/js/**/*.js'], ...js.configs.recommended },
  {
    // The editor itself: ES modules the page loads with <script type="module">.
    files: ['resources/js/editor/**/*.js'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'module', globals: { ...globals.browser } },
    rules: faults,
  },
  {
    // The pure modules: plain scripts in the page, and require()d by the Node model tests.
    files: ['resources/js/*.js'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'script',
      globals: { ...globals.browser, module: 'readonly', require: 'readonly' },
    },
    rules: faults,
  },
];
