// ESLint for the editor page's scripts (resources/js), run from the repository root by `make lint`.
import js from '@eslint/js';
import globals from 'globals';

// Faults the recommended set leaves through.
const faults = {
  'no-unused-vars': ['error', { args: 'after-used', caughtErrors: 'none' }],
  eqeqeq: ['error', 'smart'],
  'no-use-before-define': ['error', { functions: false, classes: true, variables: true }],
  ...Object.fromEntries(['no-implicit-globals', 'no-shadow-restricted-names', 'no-self-compare', 'no-template-curly-in-string',
    'no-unmodified-loop-condition', 'no-unreachable-loop', 'no-promise-executor-return', 'array-callback-return',
    'no-constructor-return', 'no-implied-eval', 'no-new-func', 'no-eval', 'no-script-url'].map((rule) => [rule, 'error'])),
  // What the native side or a web page sends is shown as text, never parsed as HTML.
  'no-restricted-properties': ['error',
    ...['innerHTML', 'outerHTML', 'insertAdjacentHTML'].map((property) => ({ property, message: 'Set textContent or build elements instead.' })),
    { object: 'document', property: 'write', message: 'Build elements instead.' }],
};

export default [
  { files: ['resources/js/**/*.js'], ...js.configs.recommended },
  // The editor itself: ES modules the page loads with <script type="module">.
  { files: ['resources/js/editor/**/*.js'], languageOptions: { ecmaVersion: 2022, sourceType: 'module', globals: globals.browser }, rules: faults },
  // The pure modules: plain scripts in the page that also work as CommonJS modules.
  { files: ['resources/js/*.js'], rules: faults,
    languageOptions: { ecmaVersion: 2022, sourceType: 'script', globals: { ...globals.browser, module: 'readonly', require: 'readonly' } } },
];
