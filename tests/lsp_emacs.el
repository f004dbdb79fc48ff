;;; lsp_emacs.el --- maptool lsp in Emacs through eglot and flymake  -*- lexical-binding: t -*-

;; As tests/lsp_emacs.sh runs it: emacs -Q --batch -l tests/lsp_emacs.el, with MAPTOOL (the
;; program) and DSC_FILE (where to write the faulty table below) in the environment.
;; A `dsc-mode' for .dsc files, eglot started as `eglot-ensure' starts it, and the
;; findings read back from flymake: lines, columns (characters, which eglot converts from
;; the protocol's UTF-16 positions) and texts; an edit and eglot's workspace configuration
;; change them.  Exits 0 only when every check held.

(require 'eglot)
(require 'flymake)
(require 'cl-lib)

(defvar lsp-test-maptool (or (getenv "MAPTOOL") (error "MAPTOOL is not set")))
(defvar lsp-test-file (or (getenv "DSC_FILE") (error "DSC_FILE is not set")))
(defvar lsp-test-failures 0)
(defvar lsp-test-checks 0)
(defconst lsp-test-timeout 20.0)

;; Cyrillic letters, an em dash and a ü before the Ctrl-Z of the last line: its column is 22
;; in bytes and 18 in characters.
(defconst lsp-test-faulty
  (concat "// Таблица: кириллица — ü\n"
          "80,0410 // CYRILLIC CAPITAL LETTER A\n"
          "0x81, 0411 // CYRILLIC CAPITAL LETTER BE\n"
          "82, 0413 // CYRILLIC CAPITAL LETTER VE\n"
          "84,\t0414\n"
          "85, 0415 // Е — ё\C-z end\n"))

(define-derived-mode dsc-mode prog-mode "DSC"
  "Major mode for DSC files, the code page descriptions of mapmaker."
  (setq-local comment-start "// "))
(add-to-list 'auto-mode-alist '("\\.dsc\\'" . dsc-mode))
(add-to-list 'eglot-server-programs `(dsc-mode . (,lsp-test-maptool "lsp")))
(add-hook 'dsc-mode-hook #'eglot-ensure)

(defun lsp-test-say (format-string &rest args)
  (princ (concat "lsp_emacs: " (apply #'format format-string args) "\n")
         #'external-debugging-output))

(defun lsp-test-check (ok what &optional seen)
  (setq lsp-test-checks (1+ lsp-test-checks))
  (unless ok
    (setq lsp-test-failures (1+ lsp-test-failures))
    (lsp-test-say "FAILED: %s%s" what (if seen (format "\n  saw: %s" seen) "")))
  ok)

(defun lsp-test-shown ()
  "The flymake diagnostics of the buffer, one a line: line:column-line:last column (from 1,
in characters), type and text (its lines joined by | )."
  (let ((diagnostics (sort (flymake-diagnostics)
                           (lambda (a b) (< (flymake-diagnostic-beg a)
                                            (flymake-diagnostic-beg b))))))
    (mapconcat
     (lambda (d)
       ;; After an edit that no report followed, old positions may lie past the end.
       (let ((beg (min (flymake-diagnostic-beg d) (point-max)))
             (end (min (flymake-diagnostic-end d) (point-max))))
         (format "%d:%d-%d:%d %s %s"
                 (line-number-at-pos beg)
                 (1+ (save-excursion (goto-char beg) (- beg (line-beginning-position))))
                 (line-number-at-pos end)
                 (save-excursion (goto-char end) (- end (line-beginning-position)))
                 (flymake-diagnostic-type d)
                 (replace-regexp-in-string "\n" " | " (flymake-diagnostic-text d)))))
     diagnostics "\n")))

(defun lsp-test-idle ()
  "Runs the idle timers as Emacs does when the user stops typing, which batch mode never
does: eglot sends a change, and flymake asks for its findings, on such timers."
  (dolist (timer (copy-sequence timer-idle-list))
    (timer-event-handler timer)))

(defun lsp-test-wait (predicate)
  "Lets the server, eglot and flymake run until PREDICATE holds or time is up."
  (let ((deadline (+ (float-time) lsp-test-timeout)))
    (while (and (not (funcall predicate)) (< (float-time) deadline))
      (accept-process-output nil 0.05)
      (lsp-test-idle))
    (funcall predicate)))

(defun lsp-test-wait-for (expected what)
  (let ((want (mapconcat #'identity expected "\n")))
    (lsp-test-wait (lambda () (equal (lsp-test-shown) want)))
    (lsp-test-check (equal (lsp-test-shown) want)
                    (format "%s:\n  %s" what (mapconcat #'identity expected "\n  "))
                    (concat "\n  " (replace-regexp-in-string "\n" "\n  " (lsp-test-shown))))))

(defun lsp-test-run ()
  (let ((coding-system-for-write 'utf-8-unix))
    (write-region lsp-test-faulty nil lsp-test-file))
  (let ((coding-system-for-read 'utf-8-unix))
    (find-file lsp-test-file))
  (lsp-test-check (eq major-mode 'dsc-mode) "the .dsc file opens in dsc-mode" major-mode)
  ;; eglot-ensure connects after the command that opened the file, as the command loop
  ;; would after C-x C-f.
  (run-hooks 'post-command-hook)
  (lsp-test-wait #'eglot-current-server)
  (let ((server (eglot-current-server))
        (after-edit
         '("4:13-4:38 eglot-warning maptool [name-mismatch]: the comment names U+0412 CYRILLIC CAPITAL LETTER VE, but the code is U+0413 CYRILLIC CAPITAL LETTER GHE"
           "5:4-5:8 eglot-error maptool [second-field-bad]: the second field '<09>0414' is not a hexadecimal number | note: a tab is not skipped as a space is: use spaces"
           "6:18-6:18 eglot-warning maptool [ctrl-z]: text after a Ctrl-Z byte is never read | note: mapmaker ends the file at the first Ctrl-Z")))
    (when (lsp-test-check server (format "eglot connects to %s lsp" lsp-test-maptool))
      (lsp-test-check (bound-and-true-p flymake-mode) "eglot turns flymake on")
      (lsp-test-wait-for
       (cons "3:1-3:4 eglot-error maptool [first-field-bad]: the first field '0x81' is not a hexadecimal number | note: write the byte as 81, without 0x"
             after-edit)
       "the faults on their lines and columns")
      ;; Deleting the 0x clears its error.
      (goto-char (point-min))
      (forward-line 2)
      (delete-char 2)
      (lsp-test-wait-for after-edit "the edit that deletes 0x clears its error")
      ;; Warning classes from eglot's workspace configuration, as docs/editors.md sets them.
      (setq-default eglot-workspace-configuration '(:maptool (:warnings ["no-ctrl-z"])))
      (eglot-signal-didChangeConfiguration server)
      (lsp-test-wait-for (butlast after-edit) "settings that turn ctrl-z off leave it out")
      ;; eglot waits for the answer to shutdown (an error or no answer in time is an error
      ;; here), sends exit and then kills the process whatever it does: its exit status
      ;; tells nothing about the server.
      (lsp-test-check (condition-case err (progn (eglot-shutdown server) t)
                        (error (lsp-test-say "shutdown: %S" err) nil))
                      "the server answers shutdown"))))

(condition-case err
    (lsp-test-run)
  (error (setq lsp-test-failures (1+ lsp-test-failures))
         (lsp-test-say "FAILED: the script stopped: %S" err)))
(lsp-test-say "%d checks, %d failed" lsp-test-checks lsp-test-failures)
(kill-emacs (if (= lsp-test-failures 0) 0 1))
